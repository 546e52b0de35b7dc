// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace cleaner {

// What a directory entry is. Symbolic links, fifos, sockets and devices are
// all `Other`: none of them is ever followed or opened.
enum class EntryKind : std::uint8_t { Folder, RegularFile, Other, Unknown };

// One entry as the folder listing gives it; `kind` may be Unknown on file
// systems that don't report entry types.
struct DirEntry {
    std::string name;
    EntryKind kind = EntryKind::Unknown;
};

// A closer look at one entry, taken without following a symbolic link.
struct EntryStatus {
    EntryKind kind = EntryKind::Other; // never Unknown
    std::uint64_t size = 0;            // bytes; meaningful for regular files
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool mountRoot = false; // the entry is the root of a mount (bind mounts too)
    // Which mount it lies on: two entries of one device may still lie on
    // different mounts (a bind mount), and no rename crosses from one to
    // the other. 0 when the system can't tell.
    std::uint64_t mountId = 0;
    std::uint32_t permissions = 0; // mode bits 07777: the sticky bit, and rwx for all three
    std::uint32_t owner = 0;       // user id

    // The same file or folder: what a name led to before and leads to now.
    bool sameEntryAs(const EntryStatus& other) const noexcept {
        return device == other.device && inode == other.inode;
    }
};

// Backend handle of an open folder; -1 is no folder.
using FolderHandle = int;
// Given as the folder to start from, a path is taken as it stands.
inline constexpr FolderHandle kNoFolder = -1;
class FileSystem;

// Closes a folder handle when it goes out of scope.
class OpenFolder {
public:
    OpenFolder() = default;
    OpenFolder(FileSystem& fs, FolderHandle handle) : m_fs(&fs), m_handle(handle) {}
    OpenFolder(OpenFolder&& other) noexcept : m_fs(other.m_fs), m_handle(std::exchange(other.m_handle, -1)) {}
    OpenFolder& operator=(OpenFolder&& other) noexcept;
    OpenFolder(const OpenFolder&) = delete;
    OpenFolder& operator=(const OpenFolder&) = delete;
    ~OpenFolder() { close(); }

    FolderHandle get() const noexcept { return m_handle; }
    explicit operator bool() const noexcept { return m_handle >= 0; }
    void close() noexcept;

private:
    FileSystem* m_fs = nullptr;
    FolderHandle m_handle = -1;
};

class Folder;

// The one way the cleaning logic reaches the disk.
//
// A backend supplies the primitives below, each one system call's worth of
// work on folders opened relative to their parent; the folder operations the
// rest of the program uses (FolderExists, GetFolder and the members of
// Folder) are built on them here, so every backend answers them alike.
// Removal is in folder_remover.h: it is always anchored at a main folder.
//
// One instance serves several threads at once (a cancelled scan winding
// down beside a new scan or a deletion), so every backend must be safe to
// call concurrently; a handle is used by one thread at a time.
class FileSystem {
public:
    virtual ~FileSystem() = default;

    // --- Backend primitives; failures come back in `ec`. ---

    // True when `path` names a folder, following symbolic links.
    virtual bool isFolder(const std::string& path) = 0;
    // Opens the folder at `path`; a symbolic link given here is followed,
    // since it is what the user chose. `device` receives its file system.
    virtual FolderHandle openFolder(const std::string& path, std::uint64_t& device, std::error_code& ec) = 0;
    // Opens the real folder `name` inside `parent`, never through a link.
    virtual FolderHandle openSubFolder(FolderHandle parent, const std::string& name, std::error_code& ec) = 0;
    // Appends every entry of a freshly opened folder but "." and "..", in the
    // order the backend meets them; call it once per handle. Stops with
    // operation_canceled once `stop` is requested.
    virtual void readEntries(FolderHandle folder, std::vector<DirEntry>& out, std::error_code& ec,
                             std::stop_token stop) = 0;
    // Looks at the entry `name` inside `parent`, never following a link.
    virtual EntryStatus examine(FolderHandle parent, const std::string& name, std::error_code& ec) = 0;
    virtual void closeFolder(FolderHandle folder) noexcept = 0;
    // Looks at an open folder itself: which file system it lies on.
    virtual EntryStatus folderStatus(FolderHandle folder, std::error_code& ec) = 0;
    // Removes the entry `name` inside `parent`: an empty folder when
    // `folder` is true (rmdir), anything else otherwise (unlink).
    virtual void removeEntry(FolderHandle parent, const std::string& name, bool folder,
                             std::error_code& ec) = 0;
    // Makes a folder `name` inside `parent` that only its owner may enter.
    virtual void makePrivateFolder(FolderHandle parent, const std::string& name, std::error_code& ec) = 0;
    // Moves the entry `fromName` of `from` to `toName` in `to`, on the same
    // file system, never replacing anything (file_exists when taken).
    virtual void moveEntry(FolderHandle from, const std::string& fromName, FolderHandle to,
                           const std::string& toName, std::error_code& ec) = 0;
    // Makes the regular file `name` in `folder`, readable and writable by
    // its owner only, holding `text`; file_exists when the name is taken,
    // and nothing is left behind when the text can't be written whole.
    virtual void writeNewFile(FolderHandle folder, const std::string& name, const std::string& text,
                              std::error_code& ec) = 0;
    // Puts `text` in the place of the file `name` in `folder` at once: a
    // reader sees the old text or the new one, never a part of either.
    virtual void replaceFile(FolderHandle folder, const std::string& name, const std::string& text,
                             std::error_code& ec) = 0;

    // Look-ups by path, as any program makes them: `path` is resolved from
    // `from` (or as it stands, from kNoFolder), following links on the way.
    // Only reads; never used to reach a folder that is to be deleted.
    //
    // Looks at what `path` leads to, or at the link itself when the last
    // name is one and `followLast` is false.
    virtual EntryStatus lookUp(FolderHandle from, const std::string& path, bool followLast,
                               std::error_code& ec) = 0;
    // The text of the regular file at `path`, as far as whole lines fit in
    // `limit` bytes. Anything but a regular file fails (and is never opened
    // in a way that could wait, a fifo say).
    virtual std::string readTextFile(FolderHandle from, const std::string& path, std::size_t limit,
                                     std::error_code& ec) = 0;
    // The absolute path of the folder at `path`, with no link, "." or ".."
    // left in it.
    virtual std::string canonicalPath(const std::string& path, std::error_code& ec) = 0;
    // Whether every entry that listings beneath the open folder `top` (at
    // the canonical `path`) give as a folder is sure to be a real folder on
    // its file system, so that a scan need not examine each one: nothing
    // is mounted beneath it, and its kind of file system has no other
    // boundary inside (subvolumes, automount points). A backend that can't
    // tell says no, and every folder entry is examined.
    virtual bool listedFoldersAreReal(FolderHandle top, const std::string& path) {
        (void)top, (void)path;
        return false;
    }

    // --- Folder operations; failures throw FsError. ---

    bool FolderExists(const std::string& path);
    Folder GetFolder(const std::string& path);
    // Which folder `path` leads to now (device and inode), or nothing when
    // no folder can be opened there. Never throws.
    std::optional<EntryStatus> identify(const std::string& path);

    // The names of the folders directly inside `path`, as a folder browser
    // shows them: folders on other file systems too, links never followed,
    // in the order the backend lists them. Unlike SubFolders(), it examines
    // only entries whose type the listing leaves unknown.
    std::vector<std::string> folderNamesIn(const std::string& path, std::error_code& ec);

    OpenFolder open(const std::string& path, std::uint64_t& device, std::error_code& ec) {
        return OpenFolder(*this, openFolder(path, device, ec));
    }
    OpenFolder openSub(FolderHandle parent, const std::string& name, std::error_code& ec) {
        return OpenFolder(*this, openSubFolder(parent, name, ec));
    }
};

// A count of files, as `Folder::Files()` hands it out.
class FileCollection {
public:
    explicit FileCollection(std::uint64_t count) : m_count(count) {}
    std::uint64_t Count() const noexcept { return m_count; }

private:
    std::uint64_t m_count;
};

// A folder named by its path. Every member reads the disk afresh, so the
// answer is what is there now, and throws FsError when it can't be read.
class Folder {
public:
    Folder(FileSystem& fs, std::string path) : m_fs(&fs), m_path(std::move(path)) {}

    const std::string& Path() const noexcept { return m_path; }
    // Real folders directly inside, in byte order of their names. Folders on
    // another file system are not among them: they count as files.
    std::vector<Folder> SubFolders() const;
    // Everything directly inside that is not one of SubFolders().
    FileCollection Files() const;
    // Bytes in the whole tree. Regular files count their length; anything
    // else that is not a real folder counts at least one byte, so a tree
    // holding a link, a device or another file system is never taken for
    // empty; so does a zero-byte file that something needs (a .gitkeep).
    // Throws when any folder of the tree can't be read.
    std::uint64_t Size() const;

private:
    FileSystem* m_fs;
    std::string m_path;
};

} // namespace cleaner
