// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace cleaner {

// Appends one name to a folder path with a single "/" between them, so that
// both "/" and "tree/" keep a readable form ("/usr", "tree/a").
inline void appendName(std::string& folderPath, std::string_view name) {
    if (folderPath.empty() || folderPath.back() != '/')
        folderPath += '/';
    folderPath += name;
}

inline std::string joinPath(std::string folderPath, std::string_view name) {
    appendName(folderPath, name);
    return folderPath;
}

// Whether the path `path` lies beneath the folder `folder` (not at it).
inline bool isBeneath(std::string_view path, std::string_view folder) {
    return !folder.empty() && path.size() > folder.size() + 1 && path.starts_with(folder) &&
           path[folder.size()] == '/';
}

} // namespace cleaner
