// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <unordered_map>
#include <unordered_set>

namespace cleaner {

// Tells when the way to a folder may have changed, without ever looking at
// the disk: the folder removed, moved or unmounted, a folder on the way to
// it renamed or removed, or the mount table changed. Whoever holds the list
// of a main folder checks the folder again only then, so a window left
// alone does no file-system work at all (and lets a drive sleep).
//
// Built on inotify and on /proc/self/mountinfo: when inotifyHandle() is
// readable, call takeEvents(); when mountTableHandle() reports an
// exceptional condition (POLLPRI, once for each change), the mount table
// changed.
//
// The way is watched as `path` spells it and as its real path does, so a
// link on the way that is pointed elsewhere is noticed too.
class WayWatch {
public:
    explicit WayWatch(const std::string& path);
    ~WayWatch();
    WayWatch(const WayWatch&) = delete;
    WayWatch& operator=(const WayWatch&) = delete;

    // -1 when it could not be set up; then nothing is ever reported.
    int inotifyHandle() const noexcept { return m_inotify; }
    int mountTableHandle() const noexcept { return m_mountTable; }

    // Reads the waiting events; true when one of them may concern the way
    // (events about other entries of the folders on the way are let go).
    bool takeEvents();

private:
    void watchWay(const std::string& path);

    int m_inotify = -1;
    int m_mountTable = -1;
    int m_folder = -1; // the watch on the folder itself
    // For each folder on the way, the names in it that lead on.
    std::unordered_map<int, std::unordered_set<std::string>> m_onTheWay;
};

} // namespace cleaner
