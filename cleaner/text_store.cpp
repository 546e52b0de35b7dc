// SPDX-License-Identifier: GPL-3.0-or-later
#include "text_store.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace cleaner {

TextStore::Ref TextStore::add(std::string_view text) {
    if (text.size() > std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("TextStore: text too long");
    if (m_blocks.empty() || m_capacity - m_used < text.size()) {
        // A text longer than a block gets a block of its own size.
        m_capacity = std::max(kBlockSize, text.size());
        m_blocks.push_back(std::make_unique_for_overwrite<char[]>(m_capacity));
        m_used = 0;
    }
    const Ref ref{static_cast<std::uint32_t>(m_blocks.size() - 1), static_cast<std::uint32_t>(m_used),
                  static_cast<std::uint32_t>(text.size())};
    if (!text.empty())
        std::memcpy(m_blocks.back().get() + m_used, text.data(), text.size());
    m_used += text.size();
    return ref;
}

void TextStore::clear() noexcept {
    std::vector<std::unique_ptr<char[]>>().swap(m_blocks);
    m_used = m_capacity = 0;
}

} // namespace cleaner
