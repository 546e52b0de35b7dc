// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <string>
#include <string_view>

// A path on the disk is a string of bytes; the window carries paths as
// QStrings. Qt's own conversion turns a byte that is not UTF-8 into U+FFFD
// and can't give it back, so a folder named so could be shown but never
// opened. These two convert without loss: well-formed UTF-8 becomes the
// characters it encodes, and each other byte b becomes the lone surrogate
// U+DC00 + b, which no UTF-8 can produce, so every byte string comes back
// as it was.
QString pathFromDisk(std::string_view bytes);
std::string pathToDisk(const QString& path);
