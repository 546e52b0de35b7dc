// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "text_store.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace cleaner {

class ListObserver;

// The empty folders found by the last scan, each with a mark that says
// whether the user wants it deleted. Entries keep the order they were added
// in; duplicates are allowed. The list grows as far as memory allows.
//
// Positions run from 0 to ListCount() - 1; a position outside that range
// throws std::out_of_range.
//
// Built for a million entries: the texts sit one after another in blocks
// (16 bytes of bookkeeping per entry), and the entries leave a gap
// where the last removal was, so that removals moving forward through the
// list, as a deletion run does, cost only the entries they pass.
class FolderList {
public:
    // What names an entry while the list is not cleared, so that an entry
    // taken out can come back at its place: entries are in the order of
    // their keys, which is the order they were added in.
    struct EntryKey {
        TextStore::Ref text;
        std::uint64_t order() const noexcept { return std::uint64_t{text.block} << 32 | text.offset; }
    };

    void AddItem(std::string text);
    // Appends many entries at once, with a single notification.
    void AddItems(std::vector<std::string> texts);
    void RemoveItem(int position);
    // Removes `count` entries from `first` on, with a single notification.
    void RemoveItems(int first, int count);
    void Clear();

    int ListCount() const noexcept { return static_cast<int>(m_entries.size() - gapSize()); }
    std::string List(int position) const { return std::string(text(position)); }
    // The entry's text without a copy; valid until the list changes.
    std::string_view text(int position) const;
    bool Selected(int position) const;
    void Selected(int position, bool marked);
    // Marks or unmarks every entry, with a single notification.
    void SelectAll(bool marked);
    int SelCount() const noexcept { return m_marked; }

    // Whether the entry lies beneath a marked entry above it: its folder goes
    // with that one, marked or not. The list is parent first, so the
    // entries beneath an entry follow it.
    bool GoesWithMarked(int position) const;
    // How many entries go when the marked ones do: those marked, and those
    // beneath a marked one.
    int WillGoCount() const;
    // The position after the last entry beneath the entry at `position`.
    int EndBeneath(int position) const;

    EntryKey key(int position) const { return EntryKey{entry(position).text}; }
    // The text of an entry, present or taken out since the last Clear().
    std::string_view textOf(const EntryKey& key) const noexcept { return m_texts.get(key.text); }
    // Changes with every Clear(): keys from before it mean nothing now.
    std::uint64_t generation() const noexcept { return m_generation; }
    // Puts entries taken out since the last Clear() back among the others,
    // each at the place it had, unmarked; one notification for each run of
    // entries that come back side by side. `keys` may come in any order.
    void Restore(std::vector<EntryKey> keys);

    // The observer must outlive the list, or be reset to nullptr first.
    void setObserver(ListObserver* observer) noexcept { m_observer = observer; }

private:
    struct Entry {
        TextStore::Ref text;
        bool marked = false;
    };
    std::size_t gapSize() const noexcept { return m_gapEnd - m_gapBegin; }
    const Entry& entry(int position) const;
    Entry& entry(int position);
    void moveGapTo(std::size_t position);
    void append(std::string_view text);
    int placeOf(const EntryKey& key) const;
    void insertAt(int position, std::span<const EntryKey> keys);

    TextStore m_texts;            // removed entries' texts stay until Clear()
    std::vector<Entry> m_entries; // with the unused slots [m_gapBegin, m_gapEnd)
    std::size_t m_gapBegin = 0;
    std::size_t m_gapEnd = 0;
    int m_marked = 0;
    std::uint64_t m_generation = 0;
    // Which entries go with a marked one, worked out when asked after a
    // change: a pass over the list, cheaper than keeping it on every mark.
    void findWhatGoesWith() const;
    mutable std::vector<bool> m_goesWith; // by position
    mutable int m_willGo = 0;
    mutable bool m_goesWithKnown = false;
    ListObserver* m_observer = nullptr;
};

} // namespace cleaner
