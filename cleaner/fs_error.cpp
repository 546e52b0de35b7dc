// SPDX-License-Identifier: GPL-3.0-or-later
#include "fs_error.h"

#include <cerrno>

namespace cleaner {

FsError::FsError(std::string path, std::error_code code)
    : std::system_error(code, path), m_path(std::move(path)) {}

std::error_code lastSystemError() noexcept {
    return {errno, std::generic_category()};
}

} // namespace cleaner
