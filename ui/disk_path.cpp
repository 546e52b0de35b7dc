// SPDX-License-Identifier: GPL-3.0-or-later
#include "disk_path.h"

#include "cleaner/utf8.h"

namespace {

constexpr char16_t kEscapedByte = 0xdc00;

// A lone one: the low half of a surrogate pair is a character's.
bool isEscapedByte(const QString& path, qsizetype at) {
    const char16_t unit = path[at].unicode();
    return unit >= kEscapedByte + 0x80 && unit <= kEscapedByte + 0xff &&
           (at == 0 || !path[at - 1].isHighSurrogate());
}

} // namespace

QString pathFromDisk(std::string_view bytes) {
    QString path;
    path.reserve(static_cast<qsizetype>(bytes.size()));
    std::size_t runStart = 0; // of well-formed UTF-8, converted in one go
    const auto endRun = [&](std::size_t at) {
        path.append(QString::fromUtf8(bytes.data() + runStart, static_cast<qsizetype>(at - runStart)));
    };
    for (std::size_t at = 0; at < bytes.size();) {
        if (const auto decoded = cleaner::decodeUtf8(bytes.substr(at))) {
            at += decoded->second;
            continue;
        }
        endRun(at);
        path.append(QChar(kEscapedByte + static_cast<unsigned char>(bytes[at])));
        runStart = ++at;
    }
    endRun(bytes.size());
    return path;
}

std::string pathToDisk(const QString& path) {
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(path.size()));
    qsizetype runStart = 0; // of characters, converted in one go
    const auto endRun = [&](qsizetype at) {
        const QByteArray utf8 = QStringView(path).mid(runStart, at - runStart).toUtf8();
        bytes.append(utf8.constData(), static_cast<std::size_t>(utf8.size()));
    };
    for (qsizetype at = 0; at < path.size(); ++at) {
        if (!isEscapedByte(path, at))
            continue;
        endRun(at);
        bytes.push_back(static_cast<char>(path[at].unicode() - kEscapedByte));
        runStart = at + 1;
    }
    endRun(path.size());
    return bytes;
}
