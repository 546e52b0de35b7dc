// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "file_system.h"
#include "trash_info.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <system_error>
#include <vector>

namespace cleaner {

// One folder moved to a Trash by this program, and what it takes to put
// it back: only items made here are ever put back.
struct TrashedItem {
    std::string trash;        // the Trash folder's real path (it holds files/ and info/)
    std::string name;         // its name in files/ (and, with .trashinfo, in info/)
    std::string originalPath; // the real path it was moved from
    EntryStatus identity;     // the folder moved: the same inode comes back
    std::string listedPath;   // where it was, as the caller spells it (the list's path)
};

// The desktop's Trash, laid out the freedesktop.org way (Trash 1.0), as the
// file manager uses it, so that it, gio and trash-cli show
// and restore what was moved there. A Trash is reached by rename only,
// never by a copy: a folder goes to the home Trash when it lies on the same
// mount, else to its drive's own ($topdir/.Trash/$uid when .Trash is a
// real folder with the sticky bit, else $topdir/.Trash-$uid), and to none
// when neither can be had.
class TrashCan {
public:
    // `home` is the home of the user this process runs as (userHomeFolder(),
    // never $HOME); `dataHome` is $XDG_DATA_HOME, used only when it is
    // absolute and owned by that user.
    TrashCan(FileSystem& fs, std::optional<std::string> home, std::optional<std::string> dataHome);
    ~TrashCan();
    TrashCan(const TrashCan&) = delete;
    TrashCan& operator=(const TrashCan&) = delete;

    // Moves the folder `name` of the open folder `parent` (the folder lies
    // at the real path `realPath`, and `status` is what it is) to the
    // Trash for it. Its info file is made first, so that the Trash never
    // holds an item without one; a folder that can't be moved leaves no
    // info file behind. no_such_device_or_address when no Trash can take it
    // (TrashCan::whyNoTrash() then says why).
    std::error_code moveIn(FolderHandle parent, const std::string& name, const std::string& realPath,
                           const EntryStatus& status, TrashedItem& item);
    // Moves `item` back to where it came from, as long as that name is free
    // and the folder above is still there; removes its info file and its
    // directorysizes line.
    std::error_code putBack(const TrashedItem& item);
    // The folder of `item` where it is in the Trash, opened afresh; the
    // folder that stands there now must be the one moved.
    OpenFolder openItem(const TrashedItem& item, std::error_code& ec);
    // Writes each Trash's directorysizes once: the items moved in and out
    // since the last call.
    void finish();

    // Why the last moveIn() found no Trash, as the user reads it.
    const std::string& whyNoTrash() const noexcept { return m_whyNot; }
    // Where the home Trash is (it may not exist yet).
    const std::string& homeTrash() const noexcept { return m_homeTrash; }

private:
    struct Trash;
    Trash* trashFor(const std::string& realPath, const EntryStatus& status);
    Trash* openTrash(const std::string& path, const std::string& topdir);
    std::string infoName(const std::string& itemName) const { return itemName + ".trashinfo"; }

    FileSystem& m_fs;
    std::string m_homeTrash;
    std::uint32_t m_uid;
    std::map<std::string, std::unique_ptr<Trash>> m_trashes; // by real path
    std::string m_whyNot;
    std::mt19937_64 m_random;
};

} // namespace cleaner
