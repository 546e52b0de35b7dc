// SPDX-License-Identifier: GPL-3.0-or-later
#include "temp_folder.h"

#include <cstdlib>
#include <stdexcept>
#include <system_error>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace testing_support {

TempFolder::TempFolder(const std::string& prefix) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/" + prefix + "-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!::mkdtemp(buffer.data()))
        throw std::system_error(errno, std::generic_category(), "mkdtemp " + pattern);
    m_path = buffer.data();
    ::chmod(m_path.c_str(), 0755);
}

TempFolder::~TempFolder() {
    if (!m_keep)
        removeTree(m_path);
}

namespace {

// Empties the open folder `fd` whatever permissions it holds, through
// descriptors so that trees deeper than PATH_MAX go too.
void emptyFolder(int fd) {
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return;
    }
    std::vector<std::pair<std::string, bool>> entries;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        struct stat st {};
        const bool isFolder =
            ::fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
        entries.emplace_back(name, isFolder);
    }
    for (const auto& [name, isFolder] : entries) {
        if (isFolder) {
            ::fchmodat(fd, name.c_str(), 0700, 0);
            const int sub = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub >= 0)
                emptyFolder(sub);
            ::unlinkat(fd, name.c_str(), AT_REMOVEDIR);
        } else {
            ::unlinkat(fd, name.c_str(), 0);
        }
    }
    ::closedir(dir);
}

} // namespace

void removeTree(const std::string& path) {
    ::chmod(path.c_str(), 0700);
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0)
        emptyFolder(fd);
    ::rmdir(path.c_str());
}

} // namespace testing_support
