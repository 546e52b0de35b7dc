// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cleaner {

// The files of a desktop Trash (the freedesktop.org Trash 1.0 layout), as
// text: what the file manager, gio and trash-cli read to show and
// restore what was moved there. Pure functions; trash_can.h does the moving.

// `path` with every byte outside the unreserved set (letters, digits and
// - . _ ~) written as %XX, "/" kept between names: any name, a newline or a
// byte that is not UTF-8 included, comes back whole.
std::string escapeTrashPath(std::string_view path);
// The bytes an escaped path stands for; nothing when a % is not followed
// by two hexadecimal digits.
std::optional<std::string> unescapeTrashPath(std::string_view escaped);

// What an info file says of one item.
struct TrashInfo {
    std::string path; // unescaped: absolute, or relative to the drive's top folder
    std::string deletionDate; // YYYY-MM-DDThh:mm:ss, local time
    bool operator==(const TrashInfo&) const = default;
};
// The local time `when` as the Trash writes it.
std::string trashDate(std::time_t when);
// The text of NAME.trashinfo for `info`.
std::string trashInfoText(const TrashInfo& info);
// `text` read back; nothing when it is not an info file: no [Trash Info]
// group, or no Path= in it.
std::optional<TrashInfo> parseTrashInfo(std::string_view text);

// The name of an item in files/ (and of its info file, with .trashinfo):
// the folder's own name, shortened where its info file's name would pass
// 255 bytes (never inside a UTF-8 sequence), with `suffix` (".2f9a", say)
// appended when given, to tell it from an item of the same name.
std::string trashItemName(std::string_view folderName, std::string_view suffix = {});

// One line of a Trash's directorysizes: an item in files/ that is a folder,
// its size in bytes, and its info file's modification time.
struct DirectorySize {
    std::uint64_t bytes = 0;
    std::int64_t infoModified = 0; // seconds since the epoch
    std::string name;              // as in files/, unescaped
    bool operator==(const DirectorySize&) const = default;
};
// `existing` (the file's text) with the lines for `dropped` names gone and
// `added` appended: other programs' lines are kept as they are, byte for
// byte, and a line naming one of `added` is replaced.
std::string updatedDirectorySizes(std::string_view existing, const std::vector<DirectorySize>& added,
                                  const std::vector<std::string>& dropped);

} // namespace cleaner
