// SPDX-License-Identifier: GPL-3.0-or-later
#include "fs_error.h"

#include <cerrno>

namespace cleaner {

FsError::FsError(std::string path, std::error_code code)
    : std::system_error(code, path), m_path(std::move(path)) {}

bool isMissing(std::error_code ec) noexcept {
    return ec == std::errc::no_such_file_or_directory;
}

bool isShortOfResources(std::error_code ec) noexcept {
    return ec == std::errc::too_many_files_open || ec == std::errc::too_many_files_open_in_system ||
           ec == std::errc::not_enough_memory;
}

std::error_code lastSystemError() noexcept {
    return {errno, std::generic_category()};
}

} // namespace cleaner
