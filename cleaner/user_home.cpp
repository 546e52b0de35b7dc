// SPDX-License-Identifier: GPL-3.0-or-later
#include "user_home.h"

#include <cerrno>

#include <pwd.h>
#include <unistd.h>

#include <vector>

namespace cleaner {

std::optional<std::string> userHomeFolder() {
    const long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    while (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == ERANGE &&
           buffer.size() < (1U << 20))
        buffer.resize(buffer.size() * 2);
    if (!found || !found->pw_dir || found->pw_dir[0] != '/')
        return std::nullopt;
    return std::string(found->pw_dir);
}

} // namespace cleaner
