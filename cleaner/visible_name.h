// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace cleaner {

// A folder name or path as the window shows it: UTF-8 in which no two
// different names look alike. A newline would make one entry look like two,
// a right-to-left override shows "evil" as "live", and a byte that is not
// UTF-8 would show as the same U+FFFD as any other. So these are written
// out, each starting with a backslash:
//   control characters (C0, DEL, C1):   \n  \t  \r  \x01  \x7f  \u0085
//   bidirectional controls:             \u200e  \u202e  \u2066 ...
//   bytes that are not UTF-8:           \xff
//   the backslash itself:               \\ (two of them)
// Everything else is shown as it is. Only the display changes: the list
// keeps every name's bytes, and deleting uses those.
std::string visibleName(std::string_view bytes);

} // namespace cleaner
