// SPDX-License-Identifier: GPL-3.0-or-later
#include "cleaner/deletion_log.h"
#include "cleaner/folder_list.h"
#include "cleaner/list_observer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

using cleaner::DeletionLog;
using cleaner::FolderList;

namespace {

// Writes down each notification, and what the list held when it came, so a
// test can tell "before" from "after".
class RecordingObserver : public cleaner::ListObserver {
public:
    explicit RecordingObserver(const FolderList* list = nullptr) : m_list(list) {}
    std::vector<std::string> events;

    void beginInsertRows(int first, int last) override { note("beginInsert", first, last); }
    void endInsertRows() override { note("endInsert"); }
    void beginRemoveRows(int first, int last) override { note("beginRemove", first, last); }
    void endRemoveRows() override { note("endRemove"); }
    void beginReset() override { note("beginReset"); }
    void endReset() override { note("endReset"); }
    void marksChanged(int first, int last) override { note("marks", first, last); }

private:
    void note(const std::string& what, int first = -1, int last = -1) {
        std::string line = what;
        if (first >= 0)
            line += " " + std::to_string(first) + ".." + std::to_string(last);
        if (m_list)
            line += " (count " + std::to_string(m_list->ListCount()) + ")";
        events.push_back(line);
    }
    const FolderList* m_list;
};

FolderList listOf(const std::vector<std::string>& texts) {
    FolderList list;
    for (const std::string& text : texts)
        list.AddItem(text);
    return list;
}

} // namespace

TEST(FolderList, RemovingAnEntryMovesLaterEntriesDownWithTheirMarks) {
    FolderList list = listOf({"P0", "P1", "P2", "P3", "P4"});
    list.Selected(3, true);
    list.Selected(1, true);

    list.RemoveItem(2);

    ASSERT_EQ(list.ListCount(), 4);
    EXPECT_EQ(list.List(2), "P3");
    EXPECT_TRUE(list.Selected(2));
    EXPECT_TRUE(list.Selected(1));
    EXPECT_FALSE(list.Selected(3));
    EXPECT_EQ(list.SelCount(), 2);
}

TEST(FolderList, SelCountFollowsEveryWayAMarkChanges) {
    FolderList list;
    EXPECT_EQ(list.SelCount(), 0);

    list = listOf({"a", "b", "c"});
    list.Selected(0, true);
    list.Selected(0, true); // marking twice counts once
    EXPECT_EQ(list.SelCount(), 1);
    list.SelectAll(true);
    EXPECT_EQ(list.SelCount(), 3);
    list.RemoveItem(1); // a marked entry leaves
    EXPECT_EQ(list.SelCount(), 2);
    list.Selected(0, false);
    EXPECT_EQ(list.SelCount(), 1);
    list.AddItem("d"); // new entries come unmarked
    EXPECT_FALSE(list.Selected(2));
    EXPECT_EQ(list.SelCount(), 1);
    list.Clear();
    EXPECT_EQ(list.SelCount(), 0);
    EXPECT_EQ(list.ListCount(), 0);
}

TEST(FolderList, KeepsDuplicatesAndOrderOfAdding) {
    FolderList list;
    list.AddItem("/m/b");
    list.AddItem("/m/a");
    list.AddItem("/m/b");
    list.AddItems({"/m/c", "/m/a"});
    ASSERT_EQ(list.ListCount(), 5);
    const std::vector<std::string> expected = {"/m/b", "/m/a", "/m/b", "/m/c", "/m/a"};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(list.List(i), expected[static_cast<std::size_t>(i)]);
}

TEST(FolderList, GrowsPastTheOld16BitLimit) {
    FolderList list;
    std::vector<std::string> many(40000, "x");
    list.AddItems(std::move(many));
    list.AddItem("last");
    EXPECT_EQ(list.ListCount(), 40001);
    list.Selected(40000, true);
    EXPECT_EQ(list.List(40000), "last");
    EXPECT_EQ(list.SelCount(), 1);
    // Texts longer than the blocks they are kept in, around short ones.
    const std::string huge(300000, 'h');
    list.AddItem(huge);
    list.AddItem("after");
    EXPECT_EQ(list.List(40001), huge);
    EXPECT_EQ(list.List(40002), "after");
    EXPECT_EQ(list.List(39999), "x");
}

TEST(FolderList, PositionsOutsideTheListThrowAndChangeNothing) {
    FolderList list = listOf({"a", "b"});
    EXPECT_THROW(list.List(2), std::out_of_range);
    EXPECT_THROW(list.List(-1), std::out_of_range);
    EXPECT_THROW(list.Selected(2), std::out_of_range);
    EXPECT_THROW(list.Selected(5, true), std::out_of_range);
    EXPECT_THROW(list.RemoveItem(2), std::out_of_range);
    EXPECT_EQ(list.ListCount(), 2);
    EXPECT_EQ(list.SelCount(), 0);
}

TEST(FolderList, TellsTheObserverBeforeAndAfterEachChange) {
    FolderList list;
    RecordingObserver observer(&list);
    list.setObserver(&observer);

    list.AddItem("a");
    list.AddItems({"b", "c"});
    list.AddItems({}); // nothing to say
    list.Selected(1, true);
    list.Selected(1, true); // no change, no notification
    list.SelectAll(false);
    list.RemoveItem(0);
    list.Clear();

    const std::vector<std::string> expected = {
        "beginInsert 0..0 (count 0)", "endInsert (count 1)",  "beginInsert 1..2 (count 1)",
        "endInsert (count 3)",        "marks 1..1 (count 3)", "marks 0..2 (count 3)",
        "beginRemove 0..0 (count 3)", "endRemove (count 2)",  "beginReset (count 2)",
        "endReset (count 0)",
    };
    EXPECT_EQ(observer.events, expected);
}

TEST(DeletionLog, AppendsLinesAndClears) {
    DeletionLog log;
    RecordingObserver observer;
    log.setObserver(&observer);
    log.AddItem("/m/a has been deleted.");
    log.AddItem("/m/a has been deleted.");
    ASSERT_EQ(log.ListCount(), 2);
    EXPECT_EQ(log.List(1), "/m/a has been deleted.");
    EXPECT_THROW(log.List(2), std::out_of_range);
    log.Clear();
    EXPECT_EQ(log.ListCount(), 0);
    const std::vector<std::string> expected = {"beginInsert 0..0", "endInsert",  "beginInsert 1..1",
                                               "endInsert",        "beginReset", "endReset"};
    EXPECT_EQ(observer.events, expected);
}

// The list against a plain vector, through random runs of every operation,
// so that removals anywhere (the gap moving back and forth) keep texts,
// marks and counts right, and entries taken out come back at their places.
TEST(FolderList, MatchesAPlainVectorThroughRandomChanges) {
    struct Plain {
        std::string text;
        bool marked;
        int order; // when it was added
    };
    struct Removed {
        Plain entry;
        FolderList::EntryKey key;
    };
    std::mt19937 random(7);
    for (int round = 0; round < 20; ++round) {
        FolderList list;
        std::vector<Plain> plain;
        std::vector<Removed> removed;
        int added = 0;
        const auto takeOut = [&](int first, int count) {
            for (int i = first; i < first + count; ++i)
                removed.push_back({plain[static_cast<std::size_t>(i)], list.key(i)});
            list.RemoveItems(first, count);
            plain.erase(plain.begin() + first, plain.begin() + first + count);
        };
        for (int step = 0; step < 400; ++step) {
            const int size = static_cast<int>(plain.size());
            const auto pick = [&](int bound) {
                return static_cast<int>(random() % static_cast<unsigned>(bound));
            };
            switch (pick(11)) {
            case 0:
            case 1: {
                const std::string text = "/m/" + std::to_string(step) + std::string(pick(40), 'x');
                list.AddItem(text);
                plain.push_back({text, false, added++});
                break;
            }
            case 2: {
                std::vector<std::string> texts;
                for (int i = pick(5); i >= 0; --i)
                    texts.push_back("/b/" + std::to_string(step) + "/" + std::to_string(i));
                for (const std::string& text : texts)
                    plain.push_back({text, false, added++});
                list.AddItems(texts);
                break;
            }
            case 3:
            case 4:
                if (size > 0)
                    takeOut(pick(size), 1);
                break;
            case 5:
                if (size > 0) {
                    const int first = pick(size);
                    takeOut(first, 1 + pick(size - first));
                }
                break;
            case 6:
            case 7:
                if (size > 0) {
                    const int at = pick(size);
                    const bool marked = pick(2) == 1;
                    list.Selected(at, marked);
                    plain[static_cast<std::size_t>(at)].marked = marked;
                }
                break;
            case 8: {
                const bool marked = pick(2) == 1;
                list.SelectAll(marked);
                for (Plain& entry : plain)
                    entry.marked = marked;
                break;
            }
            case 9: {
                // Some of what was taken out comes back, in any order.
                std::shuffle(removed.begin(), removed.end(), random);
                const std::size_t back = removed.empty() ? 0 : static_cast<std::size_t>(pick(static_cast<int>(removed.size()) + 1));
                std::vector<FolderList::EntryKey> keys;
                for (std::size_t i = 0; i < back; ++i) {
                    keys.push_back(removed[i].key);
                    Plain entry = removed[i].entry;
                    entry.marked = false;
                    const auto place = std::find_if(plain.begin(), plain.end(),
                                                    [&entry](const Plain& p) { return p.order > entry.order; });
                    plain.insert(place, entry);
                }
                removed.erase(removed.begin(), removed.begin() + static_cast<std::ptrdiff_t>(back));
                list.Restore(keys);
                break;
            }
            default:
                if (pick(20) == 0) {
                    list.Clear();
                    plain.clear();
                    removed.clear();
                }
                break;
            }
            ASSERT_EQ(list.ListCount(), static_cast<int>(plain.size()));
            int marked = 0;
            for (int i = 0; i < list.ListCount(); ++i) {
                ASSERT_EQ(list.List(i), plain[static_cast<std::size_t>(i)].text)
                    << "round " << round << " step " << step;
                ASSERT_EQ(list.Selected(i), plain[static_cast<std::size_t>(i)].marked);
                marked += plain[static_cast<std::size_t>(i)].marked ? 1 : 0;
            }
            ASSERT_EQ(list.SelCount(), marked);
        }
    }
}

// Entries beneath a marked entry go with it, and the count says how many go
// in all; a name that merely starts alike ("/ab" after "/a") is not beneath.
TEST(FolderList, SaysWhichEntriesGoWithAMarkedOneAndHowManyGo) {
    FolderList list;
    list.AddItems({"/a", "/a/b", "/a/b/c", "/ab", "/d", "/d/e"});
    const auto goesWith = [&list] {
        std::string shown;
        for (int i = 0; i < list.ListCount(); ++i)
            shown += list.GoesWithMarked(i) ? "+" : list.Selected(i) ? "x" : ".";
        return shown + " " + std::to_string(list.WillGoCount());
    };
    EXPECT_EQ(goesWith(), "...... 0");
    list.Selected(1, true);
    EXPECT_EQ(goesWith(), ".x+... 2");
    list.Selected(0, true);
    EXPECT_EQ(goesWith(), "x++... 3") << "a marked entry beneath another goes with it, and counts once";
    list.Selected(5, true);
    EXPECT_EQ(goesWith(), "x++..x 4");
    list.RemoveItem(0);
    EXPECT_EQ(goesWith(), "x+..x 3");
    EXPECT_EQ(list.EndBeneath(0), 2);
    EXPECT_EQ(list.EndBeneath(3), 5);
    EXPECT_EQ(list.EndBeneath(2), 3);
    list.SelectAll(false);
    EXPECT_EQ(goesWith(), "..... 0");
}
