// SPDX-License-Identifier: GPL-3.0-or-later
#include "trash_info.h"

#include "text_lines.h"
#include "utf8.h"

#include <algorithm>
#include <unordered_set>

namespace cleaner {

namespace {

constexpr std::size_t kLongestName = 255;
constexpr std::string_view kInfoSuffix = ".trashinfo";
constexpr std::string_view kHex = "0123456789ABCDEF";

bool isUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}


// The name a directorysizes line is about: its third field, unescaped.
std::optional<std::string> nameOnSizeLine(std::string_view line) {
    for (int field = 0; field < 2; ++field) {
        const std::size_t space = line.find(' ');
        if (space == std::string_view::npos)
            return std::nullopt;
        line.remove_prefix(space + 1);
    }
    return unescapeTrashPath(line);
}

} // namespace

std::string escapeTrashPath(std::string_view path) {
    std::string escaped;
    escaped.reserve(path.size());
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (isUnreserved(byte) || c == '/') {
            escaped += c;
        } else {
            escaped += '%';
            escaped += kHex[byte >> 4];
            escaped += kHex[byte & 0xF];
        }
    }
    return escaped;
}

std::optional<std::string> unescapeTrashPath(std::string_view escaped) {
    std::string path;
    path.reserve(escaped.size());
    for (std::size_t i = 0; i < escaped.size(); ++i) {
        if (escaped[i] != '%') {
            path += escaped[i];
            continue;
        }
        const int high = i + 1 < escaped.size() ? hexValue(escaped[i + 1]) : -1;
        const int low = i + 2 < escaped.size() ? hexValue(escaped[i + 2]) : -1;
        if (high < 0 || low < 0)
            return std::nullopt;
        path += static_cast<char>((high << 4) | low);
        i += 2;
    }
    return path;
}

std::string trashDate(std::time_t when) {
    std::tm local{};
    ::localtime_r(&when, &local);
    char text[32];
    return std::string(text, std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local));
}

std::string trashInfoText(const TrashInfo& info) {
    return "[Trash Info]\nPath=" + escapeTrashPath(info.path) + "\nDeletionDate=" + info.deletionDate + "\n";
}

std::optional<TrashInfo> parseTrashInfo(std::string_view text) {
    TrashInfo info;
    bool inGroup = false;
    bool sawGroup = false;
    bool sawPath = false;
    bool valid = true;
    forEachLine(text, [&](std::string_view line) {
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        if (line.starts_with('[')) {
            inGroup = line == "[Trash Info]";
            sawGroup = sawGroup || inGroup;
            return;
        }
        if (!inGroup)
            return;
        if (line.starts_with("Path=") && !sawPath) {
            const auto path = unescapeTrashPath(line.substr(5));
            valid = valid && path.has_value();
            info.path = path.value_or("");
            sawPath = true;
        } else if (line.starts_with("DeletionDate=")) {
            info.deletionDate = line.substr(13);
        }
    });
    if (!sawGroup || !sawPath || !valid)
        return std::nullopt;
    return info;
}

std::string trashItemName(std::string_view folderName, std::string_view suffix) {
    const std::size_t room = kLongestName - kInfoSuffix.size() - std::min(suffix.size(), kLongestName / 2);
    std::size_t keep = 0;
    // Whole UTF-8 sequences only (a stray byte counts alone), so that a
    // shortened name still reads as the folder's.
    while (keep < folderName.size()) {
        const auto decoded = decodeUtf8(folderName.substr(keep));
        const std::size_t length = decoded ? decoded->second : 1;
        if (keep + length > room)
            break;
        keep += length;
    }
    return std::string(folderName.substr(0, keep)) + std::string(suffix.substr(0, kLongestName / 2));
}

std::string updatedDirectorySizes(std::string_view existing, const std::vector<DirectorySize>& added,
                                  const std::vector<std::string>& dropped) {
    std::unordered_set<std::string> gone(dropped.begin(), dropped.end());
    for (const DirectorySize& size : added)
        gone.insert(size.name);
    std::string text;
    forEachLine(existing, [&](std::string_view line) {
        const auto name = nameOnSizeLine(line);
        if (line.empty() || (name && gone.contains(*name)))
            return;
        text.append(line);
        text += '\n';
    });
    for (const DirectorySize& size : added)
        text += std::to_string(size.bytes) + " " + std::to_string(size.infoModified) + " " +
                escapeTrashPath(size.name) + "\n";
    return text;
}

} // namespace cleaner
