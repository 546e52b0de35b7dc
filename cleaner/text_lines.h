// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <string_view>

namespace cleaner {

// Calls `onLine` with each line of `text`, without its newline.
template <typename OnLine>
void forEachLine(std::string_view text, OnLine onLine) {
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        onLine(text.substr(0, end));
        text.remove_prefix(std::min(end + 1, text.size()));
    }
}

} // namespace cleaner
