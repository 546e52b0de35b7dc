// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <system_error>

namespace cleaner {

// A file-system operation that failed: which path, and the system's reason.
// what() reads "<path>: <reason>", the reason being the strerror text.
class FsError : public std::system_error {
public:
    FsError(std::string path, std::error_code code);

    const std::string& path() const noexcept { return m_path; }
    std::string reason() const { return code().message(); }

private:
    std::string m_path;
};

// The error_code for the errno value a system call just left.
std::error_code lastSystemError() noexcept;

// No such entry: it is gone, or never was.
bool isMissing(std::error_code ec) noexcept;
// Too many open files, in this process or the system, or no memory: the
// entry itself may be fine, and a later try may succeed.
bool isShortOfResources(std::error_code ec) noexcept;

} // namespace cleaner
