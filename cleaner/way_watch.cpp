// SPDX-License-Identifier: GPL-3.0-or-later
#include "way_watch.h"

#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace cleaner {

namespace {

// What happens to a watched folder itself: it goes, or its drive does.
constexpr std::uint32_t kGone = IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT | IN_IGNORED;
// What happens to the names inside a folder on the way.
constexpr std::uint32_t kNamesChange = IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE | IN_CREATE;

std::string absolute(const std::string& path) {
    if (path.starts_with('/'))
        return path;
    std::unique_ptr<char, decltype(&std::free)> cwd(::getcwd(nullptr, 0), &std::free);
    return cwd ? std::string(cwd.get()) + "/" + path : path;
}

} // namespace

WayWatch::WayWatch(const std::string& path) {
    m_inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_inotify < 0)
        return;
    watchWay(absolute(path));
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
    if (real)
        watchWay(real.get());
    // Opening it is enough: from now on, a poll reports each change of the
    // mount table once (the kernel's mounts_poll).
    m_mountTable = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
}

WayWatch::~WayWatch() {
    if (m_inotify >= 0)
        ::close(m_inotify);
    if (m_mountTable >= 0)
        ::close(m_mountTable);
}

// Watches every folder from "/" down to `path`'s parent for the name that
// leads on, and `path` itself for going away. Names are taken as written;
// the kernel resolves "..", and links, where they stand.
void WayWatch::watchWay(const std::string& path) {
    std::string folder = "/";
    std::size_t start = 1;
    while (start < path.size()) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        const std::string name = path.substr(start, end - start);
        start = end + 1;
        if (name.empty() || name == ".")
            continue;
        const int wd =
            ::inotify_add_watch(m_inotify, folder.c_str(), IN_MASK_ADD | IN_ONLYDIR | kNamesChange | kGone);
        if (wd >= 0)
            m_onTheWay[wd].insert(name);
        if (folder.back() != '/')
            folder += '/';
        folder += name;
    }
    const int wd = ::inotify_add_watch(m_inotify, folder.c_str(), IN_MASK_ADD | IN_ONLYDIR | kGone);
    if (wd >= 0)
        m_folder = wd;
}

bool WayWatch::takeEvents() {
    if (m_inotify < 0)
        return false;
    alignas(inotify_event) std::array<char, 16 * (sizeof(inotify_event) + NAME_MAX + 1)> buffer;
    bool concerned = false;
    for (;;) {
        const ssize_t filled = ::read(m_inotify, buffer.data(), buffer.size());
        if (filled < 0 && errno == EINTR)
            continue;
        if (filled <= 0)
            return concerned;
        for (ssize_t offset = 0; offset < filled;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer.data() + offset);
            offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW) {
                concerned = true; // events were lost: any of them may have been ours
                continue;
            }
            const auto way = m_onTheWay.find(event->wd);
            if (event->wd == m_folder || way != m_onTheWay.end())
                if (event->mask & kGone)
                    concerned = true;
            if (way != m_onTheWay.end() && event->len > 0 && way->second.contains(event->name))
                concerned = true;
        }
    }
}

} // namespace cleaner
