// SPDX-License-Identifier: GPL-3.0-or-later
#include "posix_file_system.h"

#include "fs_error.h"
#include "mount_table.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/resource.h>
#include <sys/statfs.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cleaner {

namespace {

// A walk holds one descriptor per level of depth. Deep trees would run out
// of the usual soft limit of 1024 long before the hard limit, so lift it once.
void raiseOpenFileLimit() {
    static std::once_flag once;
    std::call_once(once, [] {
        rlimit limit{};
        if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
            limit.rlim_cur = limit.rlim_max;
            setrlimit(RLIMIT_NOFILE, &limit);
        }
    });
}

EntryKind kindFromDirentType(unsigned char type) {
    switch (type) {
    case DT_DIR:
        return EntryKind::Folder;
    case DT_REG:
        return EntryKind::RegularFile;
    case DT_UNKNOWN:
        return EntryKind::Unknown;
    default:
        return EntryKind::Other;
    }
}

EntryKind kindFromMode(mode_t mode) {
    if (S_ISDIR(mode))
        return EntryKind::Folder;
    if (S_ISREG(mode))
        return EntryKind::RegularFile;
    return EntryKind::Other;
}

std::uint64_t deviceOf(const struct statx& stx) {
    return (static_cast<std::uint64_t>(stx.stx_dev_major) << 32) | stx.stx_dev_minor;
}

// Layout of the records getdents64 fills in (linux_dirent64).
struct LinuxDirent64 {
    ino64_t d_ino;
    off64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[1];
};

// Kinds of file system on which a folder's device is its file system's:
// no subvolumes, no automount points, nothing but mounts changes it.
constexpr std::array<decltype(statfs::f_type), 4> kFlatFileSystems = {
    EXT4_SUPER_MAGIC, // ext2 and ext3 too
    XFS_SUPER_MAGIC,
    TMPFS_MAGIC,
    F2FS_SUPER_MAGIC,
};

bool isDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

} // namespace

PosixFileSystem::PosixFileSystem() {
    raiseOpenFileLimit();
}

bool PosixFileSystem::isFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

FolderHandle PosixFileSystem::openFolder(const std::string& path, std::uint64_t& device,
                                         std::error_code& ec) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        ec = lastSystemError();
        return -1;
    }
    // The device is read the way examine() reads it, so the two compare.
    const EntryStatus status = statusAt(fd, "", AT_EMPTY_PATH, ec);
    if (ec) {
        ::close(fd);
        return -1;
    }
    device = status.device;
    return fd;
}

FolderHandle PosixFileSystem::openSubFolder(FolderHandle parent, const std::string& name,
                                            std::error_code& ec) {
    const int fd = ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        ec = lastSystemError();
        return -1;
    }
    ec.clear();
    return fd;
}

void PosixFileSystem::readEntries(FolderHandle folder, std::vector<DirEntry>& out, std::error_code& ec,
                                  std::stop_token stop) {
    // One large buffer per thread: getdents64 fills it with as many records
    // as fit, so a folder of thousands of entries takes only a few calls.
    alignas(LinuxDirent64) thread_local std::array<std::byte, 64 * 1024> buffer;
    ec.clear();
    for (;;) {
        if (stop.stop_requested()) {
            ec = std::make_error_code(std::errc::operation_canceled);
            return;
        }
        const ssize_t filled = ::getdents64(folder, buffer.data(), buffer.size());
        if (filled < 0) {
            ec = lastSystemError();
            return;
        }
        if (filled == 0)
            return;
        for (ssize_t offset = 0; offset < filled;) {
            const auto* record = reinterpret_cast<const LinuxDirent64*>(buffer.data() + offset);
            offset += record->d_reclen;
            if (isDotOrDotDot(record->d_name))
                continue;
            out.push_back(DirEntry{record->d_name, kindFromDirentType(record->d_type)});
        }
    }
}

EntryStatus PosixFileSystem::examine(FolderHandle parent, const std::string& name, std::error_code& ec) {
    return statusAt(parent, name.c_str(), AT_SYMLINK_NOFOLLOW, ec);
}

EntryStatus PosixFileSystem::folderStatus(FolderHandle folder, std::error_code& ec) {
    return statusAt(folder, "", AT_EMPTY_PATH, ec);
}

void PosixFileSystem::removeEntry(FolderHandle parent, const std::string& name, bool folder,
                                  std::error_code& ec) {
    if (::unlinkat(parent, name.c_str(), folder ? AT_REMOVEDIR : 0) != 0)
        ec = lastSystemError();
    else
        ec.clear();
}

void PosixFileSystem::makePrivateFolder(FolderHandle parent, const std::string& name, std::error_code& ec) {
    if (::mkdirat(parent, name.c_str(), 0700) != 0)
        ec = lastSystemError();
    else
        ec.clear();
}

void PosixFileSystem::moveEntry(FolderHandle from, const std::string& fromName, FolderHandle to,
                                const std::string& toName, std::error_code& ec) {
    if (::renameat2(from, fromName.c_str(), to, toName.c_str(), RENAME_NOREPLACE) != 0)
        ec = lastSystemError();
    else
        ec.clear();
}

EntryStatus PosixFileSystem::lookUp(FolderHandle from, const std::string& path, bool followLast,
                                    std::error_code& ec) {
    return statusAt(from == kNoFolder ? AT_FDCWD : from, path.c_str(), followLast ? 0 : AT_SYMLINK_NOFOLLOW,
                    ec);
}

std::string PosixFileSystem::readTextFile(FolderHandle from, const std::string& path, std::size_t limit,
                                          std::error_code& ec) {
    // O_NONBLOCK: a fifo put where a file is expected must not hang the scan.
    const int fd = ::openat(from == kNoFolder ? AT_FDCWD : from, path.c_str(),
                            O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        ec = lastSystemError();
        return {};
    }
    std::string text;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        ec = lastSystemError();
    } else if (!S_ISREG(st.st_mode)) {
        ec = std::make_error_code(std::errc::invalid_argument);
    } else {
        ec.clear();
        // Sized by the file, not the limit: most files read are small, and a
        // file that grows meanwhile is read on as far as the limit.
        text.resize(std::min<std::size_t>(limit, static_cast<std::size_t>(std::max<off_t>(st.st_size, 0))) + 1);
        std::size_t filled = 0;
        for (;;) {
            if (filled == text.size()) {
                if (text.size() > limit)
                    break;
                text.resize(std::min(limit + 1, text.size() * 2));
            }
            const ssize_t got = ::read(fd, text.data() + filled, text.size() - filled);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0) {
                ec = lastSystemError();
                break;
            }
            if (got == 0)
                break;
            filled += static_cast<std::size_t>(got);
        }
        text.resize(filled);
        // Longer than the limit: keep whole lines only, so that no line is
        // read cut short.
        if (filled > limit) {
            const std::size_t lastLineEnd = limit == 0 ? std::string::npos : text.rfind('\n', limit - 1);
            text.resize(lastLineEnd == std::string::npos ? 0 : lastLineEnd + 1);
        }
    }
    ::close(fd);
    if (ec)
        text.clear();
    return text;
}

std::string PosixFileSystem::canonicalPath(const std::string& path, std::error_code& ec) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) {
        ec = lastSystemError();
        return {};
    }
    ec.clear();
    std::string canonical(resolved);
    std::free(resolved);
    return canonical;
}

EntryStatus PosixFileSystem::statusAt(int dirfd, const char* name, int flags, std::error_code& ec) {
    struct statx stx {};
    flags |= AT_NO_AUTOMOUNT | AT_STATX_SYNC_AS_STAT;
    if (::statx(dirfd, name, flags, STATX_TYPE | STATX_MODE | STATX_UID | STATX_SIZE | STATX_INO | STATX_MNT_ID,
                &stx) != 0) {
        ec = lastSystemError();
        return {};
    }
    ec.clear();
    EntryStatus status;
    status.kind = kindFromMode(stx.stx_mode);
    status.size = stx.stx_size;
    status.device = deviceOf(stx);
    status.inode = stx.stx_ino;
    status.mountRoot = (stx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0 &&
                       (stx.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
    status.mountId = (stx.stx_mask & STATX_MNT_ID) != 0 ? stx.stx_mnt_id : 0;
    status.permissions = stx.stx_mode & 07777;
    status.owner = stx.stx_uid;
    return status;
}

namespace {

// Writes all of `text` to `fd`; the error when it can't.
std::error_code writeAll(int fd, const std::string& text) {
    for (std::size_t written = 0; written < text.size();) {
        const ssize_t wrote = ::write(fd, text.data() + written, text.size() - written);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote < 0)
            return lastSystemError();
        written += static_cast<std::size_t>(wrote);
    }
    return {};
}

} // namespace

void PosixFileSystem::writeNewFile(FolderHandle folder, const std::string& name, const std::string& text,
                                   std::error_code& ec) {
    const int fd = ::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        ec = lastSystemError();
        return;
    }
    ec = writeAll(fd, text);
    if (::close(fd) != 0 && !ec)
        ec = lastSystemError();
    if (ec)
        ::unlinkat(folder, name.c_str(), 0);
}

void PosixFileSystem::replaceFile(FolderHandle folder, const std::string& name, const std::string& text,
                                  std::error_code& ec) {
    // Written beside it under a name of this process's own, then renamed
    // over it: the rename is what readers see.
    const std::string temporary = "." + name + ".efr-" + std::to_string(::getpid());
    ::unlinkat(folder, temporary.c_str(), 0);
    writeNewFile(folder, temporary, text, ec);
    if (ec)
        return;
    if (::renameat(folder, temporary.c_str(), folder, name.c_str()) != 0) {
        ec = lastSystemError();
        ::unlinkat(folder, temporary.c_str(), 0);
    }
}

bool PosixFileSystem::listedFoldersAreReal(FolderHandle top, const std::string& path) {
    struct statfs kind {};
    if (::fstatfs(top, &kind) != 0 ||
        std::find(kFlatFileSystems.begin(), kFlatFileSystems.end(), kind.f_type) == kFlatFileSystems.end())
        return false;
    const auto points = mountPointsNow();
    return points && !anyMountBeneath(*points, path);
}

FileSystem& systemFileSystem() {
    static PosixFileSystem* const disk = new PosixFileSystem;
    return *disk;
}

void PosixFileSystem::closeFolder(FolderHandle folder) noexcept {
    if (folder >= 0)
        ::close(folder);
}

} // namespace cleaner
