// SPDX-License-Identifier: GPL-3.0-or-later
#include "mount_table.h"

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace cleaner {

namespace {

// A field of the table with every \ooo escape turned back into its byte.
std::optional<std::string> unescaped(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\') {
            out.push_back(field[i]);
            continue;
        }
        int value = 0;
        for (std::size_t digit = i + 1; digit <= i + 3; ++digit) {
            if (digit >= field.size() || field[digit] < '0' || field[digit] > '7')
                return std::nullopt;
            value = value * 8 + (field[digit] - '0');
        }
        if (value > 0xff)
            return std::nullopt;
        out.push_back(static_cast<char>(value));
        i += 3;
    }
    return out;
}

} // namespace

std::optional<std::vector<std::string>> parseMountPoints(std::string_view mountinfo) {
    // Each line: mount ID, parent ID, major:minor, root, mount point, ...
    constexpr std::size_t kMountPointField = 4;
    std::vector<std::string> points;
    while (!mountinfo.empty()) {
        const std::size_t end = mountinfo.find('\n');
        std::string_view line = mountinfo.substr(0, end);
        mountinfo.remove_prefix(end == std::string_view::npos ? mountinfo.size() : end + 1);
        if (line.empty())
            continue;
        for (std::size_t field = 0; field < kMountPointField; ++field) {
            const std::size_t space = line.find(' ');
            if (space == std::string_view::npos)
                return std::nullopt;
            line.remove_prefix(space + 1);
        }
        auto point = unescaped(line.substr(0, line.find(' ')));
        if (!point || point->empty() || point->front() != '/')
            return std::nullopt;
        points.push_back(std::move(*point));
    }
    return points;
}

std::optional<std::vector<std::string>> mountPointsNow() {
    const int fd = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::string text;
    char buffer[16 * 1024];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (got == 0)
            break;
        text.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return parseMountPoints(text);
}

bool anyMountBeneath(const std::vector<std::string>& points, std::string_view path) {
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    return std::any_of(points.begin(), points.end(), [path](std::string_view point) {
        if (point.size() <= path.size() || !point.starts_with(path))
            return false;
        return path == "/" || point[path.size()] == '/';
    });
}

} // namespace cleaner
