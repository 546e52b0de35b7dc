// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cleaner {

// The mount points that a mountinfo table (as /proc/self/mountinfo gives
// it) names, with the table's octal escapes (\040 for a space) undone;
// nothing when a line is not as the kernel writes them.
std::optional<std::vector<std::string>> parseMountPoints(std::string_view mountinfo);

// Where this process sees file systems mounted now; nothing when the
// table can't be read.
std::optional<std::vector<std::string>> mountPointsNow();

// Whether any of `points` lies strictly beneath the folder `path`.
bool anyMountBeneath(const std::vector<std::string>& points, std::string_view path);

} // namespace cleaner
