// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <mutex>
#include <utility>
#include <vector>

namespace cleaner {

// Results passed from a worker thread to the thread that shows them: the
// worker puts each as it comes, the other takes all put so far. The lock is
// the one thing the two threads share, so the hand-over is plainly ordered
// whatever wakes the taker.
template <class T>
class HandOver {
public:
    void put(T item) {
        const std::lock_guard lock(m_mutex);
        m_items.push_back(std::move(item));
    }
    std::vector<T> takeAll() {
        const std::lock_guard lock(m_mutex);
        return std::exchange(m_items, {});
    }

private:
    std::mutex m_mutex;
    std::vector<T> m_items;
};

} // namespace cleaner
