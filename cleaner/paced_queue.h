// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <iterator>
#include <span>
#include <vector>

namespace cleaner {

// Work that arrives faster than one thread may spend on it at a stretch: a
// window thread applies found folders or deletion outcomes a chunk at a time
// until its time for this turn is up, and goes on in the next turn, so that
// it repaints and answers the mouse in between.
template <class T>
class PacedQueue {
public:
    using Clock = std::chrono::steady_clock;

    explicit PacedQueue(std::size_t chunk) : m_chunk(chunk) {}

    void push(std::vector<T> items) {
        if (m_next == m_items.size()) {
            m_items = std::move(items);
            m_next = 0;
        } else {
            if (m_next > m_items.size() / 2) { // drop what was taken before it piles up
                m_items.erase(m_items.begin(), m_items.begin() + static_cast<std::ptrdiff_t>(m_next));
                m_next = 0;
            }
            m_items.insert(m_items.end(), std::make_move_iterator(items.begin()),
                           std::make_move_iterator(items.end()));
        }
    }
    bool empty() const noexcept { return m_next == m_items.size(); }
    std::size_t size() const noexcept { return m_items.size() - m_next; }
    void clear() {
        m_items.clear();
        m_next = 0;
    }

    // Hands the items to `apply` in order, a chunk (a std::span<T>) at a
    // time, until none is left or `deadline` has passed. `apply` returns how
    // many it took; fewer than it was given means it wants no more, and the
    // rest is dropped. True when nothing is left.
    template <class Apply>
    bool drainUntil(Clock::time_point deadline, Apply&& apply) {
        do {
            if (empty())
                break;
            const std::size_t count = std::min(m_chunk, size());
            const std::size_t taken = apply(std::span<T>(m_items.data() + m_next, count));
            m_next += count;
            if (taken < count)
                clear();
        } while (Clock::now() < deadline);
        if (empty())
            clear(); // let the memory go
        return empty();
    }

private:
    std::size_t m_chunk;
    std::vector<T> m_items;
    std::size_t m_next = 0;
};

} // namespace cleaner
