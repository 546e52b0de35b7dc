// SPDX-License-Identifier: GPL-3.0-or-later
// Marking, and deleting marked folders without ever deleting data.
#include "cleaner/deletion_log.h"
#include "cleaner/folder_list.h"
#include "cleaner/list_observer.h"
#include "cleaner/marking.h"
#include "support/hooked_file_system.h"
#include "support/memory_file_system.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <span>

using cleaner::DeletionLog;
using cleaner::FolderList;
using cleaner::RemovalOutcome;
using testing_support::HookedFileSystem;
using testing_support::MemoryFileSystem;
using Step = MemoryFileSystem::Step;
using Result = RemovalOutcome::Result;

namespace {

std::vector<std::string> linesOf(const DeletionLog& log) {
    std::vector<std::string> lines;
    for (int i = 0; i < log.ListCount(); ++i)
        lines.push_back(log.List(i));
    return lines;
}

struct Entry {
    std::string path;
    bool marked;
    bool operator==(const Entry&) const = default;
};

std::vector<Entry> entriesOf(const FolderList& list) {
    std::vector<Entry> entries;
    for (int i = 0; i < list.ListCount(); ++i)
        entries.push_back({list.List(i), list.Selected(i)});
    return entries;
}

class Removal : public ::testing::Test {
protected:
    void list(std::initializer_list<Entry> entries) {
        for (const Entry& entry : entries) {
            List1.AddItem(entry.path);
            List1.Selected(List1.ListCount() - 1, entry.marked);
        }
    }
    void deleteMarked() { cleaner::ListBoxRemSel(List1, List2, fs, "/M", deleted); }

    MemoryFileSystem memory;
    HookedFileSystem fs{memory, [](auto, const auto&) { return std::error_code{}; }};
    FolderList List1;
    DeletionLog List2;
    cleaner::DeletedFolders deleted;
};

const std::string kNotEmpty = " was not deleted: it is no longer empty.";

} // namespace

TEST_F(Removal, NestedMarkedFoldersAreAllLoggedAsDeletedInListOrder) {
    memory.addFolder("/M/A/B");
    memory.addFolder("/M/C");
    list({{"/M/A", true}, {"/M/A/B", true}, {"/M/C", true}});

    deleteMarked();

    EXPECT_EQ(linesOf(List2), (std::vector<std::string>{"/M/A has been deleted.", "/M/A/B has been deleted.",
                                                        "/M/C has been deleted."}));
    EXPECT_EQ(List1.ListCount(), 0);
    EXPECT_FALSE(memory.exists("/M/A"));
    EXPECT_FALSE(memory.exists("/M/C"));
    EXPECT_TRUE(memory.exists("/M"));
    EXPECT_EQ(memory.openHandleCount(), 0u);
}

TEST_F(Removal, OnlyMarkedEntriesGoAndTheRestKeepTheirOrderAndMarks) {
    for (const char* name : {"/M/P", "/M/Q", "/M/R", "/M/S"})
        memory.addFolder(name);
    list({{"/M/P", false}, {"/M/Q", true}, {"/M/R", false}, {"/M/S", true}});

    deleteMarked();

    EXPECT_EQ(entriesOf(List1), (std::vector<Entry>{{"/M/P", false}, {"/M/R", false}}));
    EXPECT_EQ(linesOf(List2), (std::vector<std::string>{"/M/Q has been deleted.", "/M/S has been deleted."}));
    EXPECT_TRUE(memory.exists("/M/P"));
    EXPECT_FALSE(memory.exists("/M/Q"));
}

TEST_F(Removal, NothingMarkedChangesNothingAndTouchesNoDisk) {
    memory.addFolder("/M/A");
    list({{"/M/A", false}, {"/M/B", false}});
    deleteMarked();
    EXPECT_EQ(entriesOf(List1), (std::vector<Entry>{{"/M/A", false}, {"/M/B", false}}));
    EXPECT_EQ(List2.ListCount(), 0);
    EXPECT_EQ(fs.examined + fs.removed, 0);
}

TEST_F(Removal, MarkAllAndUnmarkAllCoverEveryEntry) {
    cleaner::ListBoxSelAll(List1); // empty list: nothing to do
    EXPECT_EQ(List1.SelCount(), 0);
    list({{"/a", false}, {"/b", true}, {"/c", false}});
    cleaner::ListBoxSelAll(List1);
    EXPECT_EQ(List1.SelCount(), 3);
    cleaner::ListBoxUnmarkAll(List1);
    EXPECT_EQ(entriesOf(List1), (std::vector<Entry>{{"/a", false}, {"/b", false}, {"/c", false}}));
}

TEST_F(Removal, ZeroByteFilesBeneathGoWithTheFolder) {
    memory.addFile("/M/A/B/zero", 0);
    memory.addFile("/M/A/B/C/.hidden", 0);
    list({{"/M/A", true}});
    deleteMarked();
    EXPECT_EQ(linesOf(List2), std::vector<std::string>{"/M/A has been deleted."});
    EXPECT_FALSE(memory.exists("/M/A"));
}

TEST_F(Removal, AFolderThatIsNoLongerEmptyIsLeftUntouchedAndStaysUnmarked) {
    memory.addFolder("/M/ownFile");
    memory.addFile("/M/ownFile/zero", 0); // a file directly inside
    memory.addFile("/M/deepData/x/y/data", 5);
    memory.addFile("/M/deepData/a/zero", 0);
    memory.addOther("/M/deepLink/x/link");
    memory.addMountPoint("/M/mountedBelow/usb");
    memory.addMountPoint("/M/isMount");
    memory.addFile("/M/nowAFile", 0);
    const char* paths[] = {"/M/ownFile",      "/M/deepData", "/M/deepLink",
                           "/M/mountedBelow", "/M/isMount",  "/M/nowAFile"};
    for (const char* path : paths)
        list({{path, true}});

    deleteMarked();

    std::vector<std::string> expectedLines;
    std::vector<Entry> expectedEntries;
    for (const char* path : paths) {
        expectedLines.push_back(path + kNotEmpty);
        expectedEntries.push_back({path, false});
    }
    EXPECT_EQ(linesOf(List2), expectedLines);
    EXPECT_EQ(entriesOf(List1), expectedEntries);
    EXPECT_EQ(fs.removed, 0) << "nothing may be touched, not even the zero-byte file beside the data";
    EXPECT_TRUE(memory.exists("/M/deepData/a/zero"));
}

TEST_F(Removal, AMissingFolderIsDeletedOnlyWhenAFolderWeDeletedHeldIt) {
    // Nested: B goes with A. Vanished: nobody here deleted "gone", and the
    // way to "below" holds a file now.
    memory.addFolder("/M/A/B");
    memory.addFolder("/M/P/Q");
    memory.addFile("/M/file", 0);
    list({{"/M/A", true},
          {"/M/A/B", true},
          {"/M/gone", true},
          {"/M/gone/deeper", true},
          {"/M/file/below", true},
          {"/M/P", true},
          {"/M/P/Q", false}});

    deleteMarked();
    EXPECT_EQ(linesOf(List2),
              (std::vector<std::string>{"/M/A has been deleted.", "/M/A/B has been deleted.",
                                        "/M/gone was not deleted: it is no longer there.",
                                        "/M/gone/deeper was not deleted: it is no longer there.",
                                        "/M/file/below was not deleted: it is no longer there.",
                                        "/M/P has been deleted."}));
    // Q, not marked, went with P: it leaves the list, unlogged.
    EXPECT_EQ(entriesOf(List1), std::vector<Entry>{});

    // A later run still knows that Q went with P, and that nothing else
    // beneath P was ever there.
    list({{"/M/P/Q", true}, {"/M/P/never", true}});
    cleaner::DeletionLog laterLog;
    cleaner::ListBoxRemSel(List1, laterLog, fs, "/M", deleted);
    EXPECT_EQ(linesOf(laterLog), (std::vector<std::string>{"/M/P/Q has been deleted.",
                                                          "/M/P/never was not deleted: it is no longer there."}));
    EXPECT_EQ(List1.ListCount(), 0);
}

// Entries in any order, some twice, as efr-scan --delete may be given them:
// whatever this run deleted is "deleted" when met again, or when something
// beneath it is; only V, which never existed, is no longer there.
TEST_F(Removal, WhatThisRunDeletedIsDeletedInAnyOrder) {
    for (const char* folder : {"/M/P/Q/Z", "/M/R", "/M/S/T", "/M/U"})
        memory.addFolder(folder);
    const char* order[] = {"/M/P", "/M/R", "/M/P/Q", "/M/P", "/M/S", "/M/U", "/M/S/T", "/M/P/Q/Z", "/M/V"};
    std::vector<std::string> expected;
    for (const char* path : order) {
        list({{path, true}});
        expected.push_back(path + std::string(path == std::string("/M/V")
                                                  ? " was not deleted: it is no longer there."
                                                  : " has been deleted."));
    }
    deleteMarked();
    EXPECT_EQ(linesOf(List2), expected);
    EXPECT_EQ(List1.ListCount(), 0);
}

TEST_F(Removal, AFailureIsReportedWithTheSystemsReasonAndTheRunGoesOn) {
    memory.addFolder("/M/A/1");
    memory.addFolder("/M/A/2");
    memory.failOn("/M/A/2", Step::Remove, std::errc::permission_denied);
    memory.addFolder("/M/B/locked/inner");
    memory.failOn("/M/B/locked", Step::List, std::errc::permission_denied);
    memory.addFolder("/M/C/unexaminable");
    memory.failOn("/M/C/unexaminable", Step::Examine, std::errc::io_error);
    memory.addFolder("/M/D");
    memory.failOn("/M/D", Step::Open, std::errc::permission_denied);
    memory.addFolder("/M/E");
    list({{"/M/A", true}, {"/M/B", true}, {"/M/C/unexaminable", true}, {"/M/D", true}, {"/M/E", true}});

    deleteMarked();

    const std::string denied = std::strerror(EACCES);
    EXPECT_EQ(linesOf(List2),
              (std::vector<std::string>{
                  "/M/A could not be deleted: " + denied + ".", "/M/B could not be deleted: " + denied + ".",
                  "/M/C/unexaminable could not be deleted: " + std::string(std::strerror(EIO)) + ".",
                  "/M/D could not be deleted: " + denied + ".", "/M/E has been deleted."}));
    EXPECT_EQ(entriesOf(List1),
              (std::vector<Entry>{
                  {"/M/A", false}, {"/M/B", false}, {"/M/C/unexaminable", false}, {"/M/D", false}}));
    // A stopped at its second folder: the first, empty, went already.
    EXPECT_FALSE(memory.exists("/M/A/1"));
    EXPECT_TRUE(memory.exists("/M/A/2"));
    EXPECT_TRUE(memory.exists("/M/B/locked/inner")) << "an unreadable tree must be left whole";
    EXPECT_EQ(memory.openHandleCount(), 0u);
}

TEST_F(Removal, AFileThatCantBeExaminedIsARefusalNotAVerdict) {
    memory.addFile("/M/A/sub/zero", 0);
    memory.failOn("/M/A/sub/zero", Step::Examine, std::errc::permission_denied);
    list({{"/M/A", true}});
    deleteMarked();
    EXPECT_EQ(linesOf(List2), std::vector<std::string>{
                                  "/M/A could not be deleted: " + std::string(std::strerror(EACCES)) + "."});
    EXPECT_TRUE(memory.exists("/M/A/sub/zero"));
}

TEST_F(Removal, DataThatAppearsWhileTheTreeIsBeingRemovedIsKept) {
    memory.addFile("/M/A/a/zero", 0);
    memory.addFolder("/M/A/b/c");
    list({{"/M/A", true}, {"/M/B", true}});
    memory.addFolder("/M/B");
    HookedFileSystem racing(memory, [&](HookedFileSystem::Operation operation, const std::string&) {
        // At the first removal, someone writes into a branch not yet reached,
        // and into the folder next in the list.
        if (operation == HookedFileSystem::Operation::Remove && !memory.exists("/M/A/b/c/data")) {
            memory.addFile("/M/A/b/c/data", 12);
            memory.addOther("/M/B/pipe");
        }
        return std::error_code{};
    });

    cleaner::ListBoxRemSel(List1, List2, racing, "/M", deleted);

    EXPECT_EQ(linesOf(List2), (std::vector<std::string>{
                                  "/M/A could not be deleted: " + std::string(std::strerror(ENOTEMPTY)) + ".",
                                  "/M/B" + kNotEmpty}));
    EXPECT_TRUE(memory.exists("/M/A/b/c/data"));
    EXPECT_TRUE(memory.exists("/M/B/pipe"));
    EXPECT_FALSE(memory.exists("/M/A/a")) << "the empty branch before it went, holding no data";
    EXPECT_EQ(entriesOf(List1), (std::vector<Entry>{{"/M/A", false}, {"/M/B", false}}));
}

TEST_F(Removal, PathsNotStrictlyBeneathTheMainFolderAreRefused) {
    memory.addFolder("/M/a");
    memory.addFolder("/Mx/a");
    memory.addFolder("/other/a");
    const char* paths[] = {"/",     "",      "/M",      "/M/", "/M/..", "/M/.", "/M/a/../../other/a",
                           "/M//a", "/Mx/a", "/other/a"};
    for (const char* path : paths)
        list({{path, true}});
    deleteMarked();
    std::vector<std::string> expected;
    for (const char* path : paths)
        expected.push_back(std::string(path) + " could not be deleted: it is not inside the main folder.");
    EXPECT_EQ(linesOf(List2), expected);
    EXPECT_EQ(fs.examined + fs.removed, 0) << "nothing outside may even be looked at";
    EXPECT_TRUE(memory.exists("/M/a"));
    EXPECT_TRUE(memory.exists("/Mx/a"));
    EXPECT_TRUE(memory.exists("/other/a"));
    EXPECT_EQ(List1.SelCount(), 0);
}

// Someone else changes the disk at an exact step of a removal. Whatever
// they swap in, nothing of non-zero size and nothing outside the main
// folder is removed, and the log says what happened.
class RemovalRace : public Removal {
protected:
    using Op = HookedFileSystem::Operation;
    // Runs the deletion with `race` called before each step, as `step` and
    // the entry's name, counted from 1 for each (step, name) pair.
    void deleteWhile(const std::function<void(Op, const std::string&, int)>& race) {
        std::map<std::pair<Op, std::string>, int> seen;
        HookedFileSystem racing(memory, [&](Op op, const std::string& name) {
            race(op, name, ++seen[{op, name}]);
            return std::error_code{};
        });
        cleaner::ListBoxRemSel(List1, List2, racing, "/M", deleted);
    }
};

TEST_F(RemovalRace, AFileSwappedInJustBeforeItGoesIsPutBack) {
    memory.addFile("/M/t/s/f", 0);
    memory.addFile("/outside/big", 9);
    list({{"/M/t", true}});
    deleteWhile([&](Op op, const std::string& name, int count) {
        if (op == Op::Move && name == "f" && count == 1)
            memory.exchange("/M/t/s/f", "/outside/big");
    });
    EXPECT_EQ(linesOf(List2), std::vector<std::string>{"/M/t could not be deleted: " +
                                                       std::string(std::strerror(ENOTEMPTY)) + "."});
    EXPECT_EQ(memory.fileSize("/M/t/s/f"), 9u);
    EXPECT_EQ(memory.fileSize("/outside/big"), 0u);
    EXPECT_EQ(entriesOf(List1), (std::vector<Entry>{{"/M/t", false}}));
}

TEST_F(RemovalRace, ASwappedFileWhoseNameIsTakenMeanwhileWaitsInTheStagingFolder) {
    memory.addFile("/M/t/s/f", 0);
    memory.addFile("/outside/big", 9);
    list({{"/M/t", true}});
    deleteWhile([&](Op op, const std::string& name, int count) {
        if (op == Op::Move && name == "f" && count == 1)
            memory.exchange("/M/t/s/f", "/outside/big");
        else if (op == Op::Move && name != "f") // on its way back
            memory.addFile("/M/t/s/f", 0);
    });
    ASSERT_EQ(List2.ListCount(), 1);
    const std::string line = List2.List(0);
    const std::string lead = "/M/t could not be deleted: a file changed while it was being removed and was "
                             "kept in /M/t/.efr-deleting-";
    ASSERT_EQ(line.rfind(lead, 0), 0u) << line;
    const std::string staging = line.substr(line.find("/M/t/.efr"), line.size() - 1 - line.find("/M/t/.efr"));
    EXPECT_EQ(memory.fileSize(staging + "/0"), 9u) << "the data waits there, whole";
    EXPECT_EQ(memory.fileSize("/M/t/s/f"), 0u);
    EXPECT_EQ(memory.fileSize("/outside/big"), 0u);
}

TEST_F(RemovalRace, AFolderExchangedBetweenTheCheckAndTheRemovalIsNotEmptied) {
    memory.addFolder("/M/x/s/deep");
    memory.addFile("/out/a.lock", 0);
    memory.addFile("/out/z", 9);
    memory.addFolder("/M/y");
    memory.addFolder("/elsewhere");
    list({{"/M/x", true}, {"/M/y", true}});
    deleteWhile([&](Op op, const std::string& name, int count) {
        if (op == Op::Open && name == "s" && count == 2) // the removal's open, after the check's
            memory.exchange("/M/x/s", "/out");
        if (op == Op::Examine && name == "y" && count == 2) // right before y's rmdir by name
            memory.exchange("/M/y", "/elsewhere");
    });
    const std::string changed = " could not be deleted: it changed while it was being deleted.";
    EXPECT_EQ(linesOf(List2), (std::vector<std::string>{"/M/x" + changed, "/M/y" + changed}));
    EXPECT_TRUE(memory.exists("/M/x/s/a.lock")) << "the exchanged-in folder keeps its zero-byte file";
    EXPECT_TRUE(memory.exists("/M/x/s/z"));
    EXPECT_TRUE(memory.exists("/M/y")) << "the folder that took y's name stays";
    EXPECT_EQ(memory.openHandleCount(), 0u);
}

TEST_F(RemovalRace, ALinkOrAMountOnTheWayLeadsNowhere) {
    memory.addFolder("/M/a/b");
    memory.addFile("/victim/b/keep.lock", 0);
    memory.addFolder("/M/c/d");
    list({{"/M/a/b", true}, {"/M/c/d", true}});
    memory.replaceWithLink("/M/a", "/moved-a");
    memory.mountOn("/M/c");
    deleteMarked();
    EXPECT_EQ(linesOf(List2), (std::vector<std::string>{"/M/a/b was not deleted: it is no longer there.",
                                                        "/M/c/d was not deleted: it is no longer there."}));
    EXPECT_TRUE(memory.exists("/victim/b/keep.lock"));
    EXPECT_TRUE(memory.exists("/moved-a/b"));
    EXPECT_EQ(fs.removed, 0);
    EXPECT_EQ(List1.ListCount(), 0);
}

TEST(MarkedEntryRemoval, StepsThroughMarkedEntriesAndCountsOutcomes) {
    FolderList List1;
    DeletionLog List2;
    for (const char* path : {"/a", "/b", "/c", "/d"})
        List1.AddItem(path);
    List1.Selected(0, true);
    List1.Selected(2, true);
    List1.Selected(3, true);

    cleaner::MarkedEntryRemoval run(List1, List2);
    std::vector<std::string> handed;
    const RemovalOutcome outcomes[] = {
        {Result::NotEmpty, {}, {}, {}},
        {Result::Deleted, {}, {}, {}},
        {Result::Failed, std::make_error_code(std::errc::permission_denied), {}, {}}};
    int i = 0;
    while (const auto request = run.next()) {
        handed.push_back(request->path);
        run.finish(outcomes[i++]);
    }
    EXPECT_EQ(handed, (std::vector<std::string>{"/a", "/c", "/d"}));
    EXPECT_EQ(run.deletedCount(), 1);
    EXPECT_EQ(run.notDeletedCount(), 2);
    EXPECT_EQ(entriesOf(List1), (std::vector<Entry>{{"/a", false}, {"/b", false}, {"/d", false}}));
}

namespace {

// Keeps a copy of a list's texts from its notifications alone, so a test can
// tell that every notification named the right rows at the right time.
class MirrorObserver : public cleaner::ListObserver {
public:
    explicit MirrorObserver(const FolderList& list) : m_list(list) {}
    std::vector<std::string> mirror;
    int removals = 0;

    void beginInsertRows(int first, int last) override { m_pending = {first, last}; }
    void endInsertRows() override {
        for (int row = m_pending.first; row <= m_pending.second; ++row)
            mirror.insert(mirror.begin() + row, m_list.List(row));
    }
    void beginRemoveRows(int first, int last) override {
        ++removals;
        mirror.erase(mirror.begin() + first, mirror.begin() + last + 1);
    }
    void endRemoveRows() override {}
    void beginReset() override {}
    void endReset() override {
        mirror.clear();
        for (int row = 0; row < m_list.ListCount(); ++row)
            mirror.push_back(m_list.List(row));
    }
    void marksChanged(int, int) override {}

private:
    const FolderList& m_list;
    std::pair<int, int> m_pending;
};

} // namespace

// Outcomes applied a batch at a time give exactly what the one-at-a-time
// loop gives, and the gone entries of a batch that stand next to each other
// leave the list in one notification.
TEST(MarkedEntryRemoval, BatchesGiveThePerEntryResultWithOneNotificationPerRun) {
    std::mt19937 random(11);
    const Result kinds[] = {Result::Deleted, Result::AlreadyGone, Result::NoLongerThere, Result::NotEmpty,
                            Result::Failed};
    for (int round = 0; round < 300; ++round) {
        const auto pick = [&](int bound) {
            return static_cast<int>(random() % static_cast<unsigned>(bound));
        };
        std::vector<Entry> start;
        for (int i = pick(60); i >= 0; --i)
            start.push_back({"/M/" + std::to_string(i) + (pick(3) == 0 ? "/sub" : ""), pick(10) < 6});
        std::vector<RemovalOutcome> outcomes;
        for (const Entry& entry : start)
            if (entry.marked)
                outcomes.push_back(
                    {kinds[pick(5)], std::make_error_code(std::errc::permission_denied), {}, {}});
        std::vector<std::size_t> batchEnds; // outcomes [previous end, end) go together
        for (std::size_t end = 0; end < outcomes.size();)
            batchEnds.push_back(end = std::min(outcomes.size(), end + 1 + static_cast<std::size_t>(pick(8))));

        // The loop one entry at a time, on a plain vector; runs counted per batch.
        std::vector<Entry> expected = start;
        std::vector<std::string> expectedLog;
        int expectedRuns = 0;
        std::size_t next = 0, batch = 0;
        int removedInBatch = 0, lastGoneAt = -2;
        for (int position = 0; next < outcomes.size(); ++position) {
            if (!expected[static_cast<std::size_t>(position)].marked)
                continue;
            const RemovalOutcome& outcome = outcomes[next];
            expectedLog.push_back(
                cleaner::deletionLogLine(expected[static_cast<std::size_t>(position)].path, outcome));
            const int atBatchStart = position + removedInBatch;
            if (outcome.leavesList()) {
                if (atBatchStart != lastGoneAt + 1)
                    ++expectedRuns;
                lastGoneAt = atBatchStart;
                expected.erase(expected.begin() + position--);
                ++removedInBatch;
            } else {
                expected[static_cast<std::size_t>(position)].marked = false;
            }
            if (++next == batchEnds[batch]) {
                ++batch;
                removedInBatch = 0;
                lastGoneAt = -2;
            }
        }

        FolderList List1;
        for (const Entry& entry : start) {
            List1.AddItem(entry.path);
            List1.Selected(List1.ListCount() - 1, entry.marked);
        }
        MirrorObserver observer(List1);
        observer.endReset();
        List1.setObserver(&observer);
        DeletionLog List2;
        cleaner::MarkedEntryRemoval run(List1, List2);
        std::size_t from = 0;
        for (const std::size_t end : batchEnds) {
            EXPECT_EQ(run.finish(std::span(outcomes).subspan(from, end - from)), end - from);
            from = end;
        }
        List1.setObserver(nullptr);

        ASSERT_EQ(entriesOf(List1), expected) << "round " << round;
        EXPECT_EQ(linesOf(List2), expectedLog);
        EXPECT_EQ(observer.mirror, [&] {
            std::vector<std::string> texts;
            for (const Entry& entry : expected)
                texts.push_back(entry.path);
            return texts;
        }());
        EXPECT_EQ(observer.removals, expectedRuns) << "round " << round;
        EXPECT_EQ(List1.SelCount(), 0);
    }
}

// A NUL byte would end the path early for the system, so that another
// folder than the one named would go: such a line is refused. A path that
// never existed beneath a deleted folder was not deleted by us, whatever
// folder above it went.
TEST_F(Removal, OnlyFoldersThisRemovalRemovedAreLoggedAsDeleted) {
    memory.addFolder("/M/a");
    memory.addFolder("/M/q/r");
    memory.addFolder("/M/rx/e");
    list({{std::string("/M/a\0zzz", 8), true},
          {std::string("/M/q\0x", 6), true},
          {"/M/rx", true},
          {"/M/rx/e", true},
          {"/M/rx/never", true}});
    deleteMarked();
    EXPECT_EQ(linesOf(List2),
              (std::vector<std::string>{
                  std::string("/M/a\0zzz", 8) + " could not be deleted: its path holds a NUL byte, which no "
                                                "folder's name can.",
                  std::string("/M/q\0x", 6) + " could not be deleted: its path holds a NUL byte, which no "
                                              "folder's name can.",
                  "/M/rx has been deleted.", "/M/rx/e has been deleted.",
                  "/M/rx/never was not deleted: it is no longer there."}));
    EXPECT_TRUE(memory.exists("/M/a"));
    EXPECT_TRUE(memory.exists("/M/q/r"));
    EXPECT_FALSE(memory.exists("/M/rx"));
}

// Where the drive refuses a step of a safe removal, the log says so in
// words, and nothing of ours stays behind in the folder.
TEST(RemovalRefused, ADriveThatRefusesAStepLeavesNoStagingFolderAndSaysWhy) {
    struct Row {
        HookedFileSystem::Operation operation;
        const char* name; // the entry the drive refuses it on: a prefix
        std::errc reason;
        const char* expected;
    };
    const Row rows[] = {
        {HookedFileSystem::Operation::Open, ".efr-deleting-", std::errc::too_many_files_open,
         "/M/t could not be deleted: Too many open files."},
        {HookedFileSystem::Operation::Move, "zero", std::errc::invalid_argument,
         "/M/t could not be deleted: this drive can't set a file aside without the risk of replacing "
         "another, so its zero-byte files were left as they are."},
    };
    for (const Row& row : rows) {
        MemoryFileSystem memory;
        memory.addFile("/M/t/deep/zero", 0);
        HookedFileSystem fs(memory, [&row](HookedFileSystem::Operation operation, const std::string& name) {
            return operation == row.operation && name.starts_with(row.name) ? std::make_error_code(row.reason)
                                                                           : std::error_code{};
        });
        FolderList List1;
        DeletionLog List2;
        cleaner::DeletedFolders deleted;
        List1.AddItem("/M/t");
        cleaner::ListBoxSelAll(List1);
        cleaner::ListBoxRemSel(List1, List2, fs, "/M", deleted);
        EXPECT_EQ(linesOf(List2), std::vector<std::string>{row.expected});
        EXPECT_TRUE(memory.exists("/M/t/deep/zero")) << row.expected;
        std::vector<cleaner::DirEntry> entries;
        std::error_code ec;
        std::uint64_t device = 0;
        const int folder = memory.openFolder("/M/t", device, ec);
        memory.readEntries(folder, entries, ec, {});
        memory.closeFolder(folder);
        ASSERT_EQ(entries.size(), 1u) << row.expected;
        EXPECT_EQ(entries[0].name, "deep") << "left behind in /M/t";
    }
}

// Unmarked entries beneath a deleted folder went with it: they leave the
// list, unlogged, and the count of folders removed includes them, whether
// the outcomes come one at a time or all at once.
TEST(RemovalList, EntriesBeneathADeletedFolderLeaveTheListWithIt) {
    for (const bool oneAtATime : {true, false}) {
        MemoryFileSystem fs;
        for (const char* folder : {"/M/.cache/thumbnails/fail", "/M/.cache/thumbnails/large",
                                   "/M/.cache/thumbnails/normal", "/M/.cacheless", "/M/z"})
            fs.addFolder(folder);
        FolderList List1;
        DeletionLog List2;
        for (const char* entry : {"/M/.cache", "/M/.cache/thumbnails", "/M/.cache/thumbnails/fail",
                                  "/M/.cache/thumbnails/large", "/M/.cache/thumbnails/normal", "/M/.cacheless",
                                  "/M/z"})
            List1.AddItem(entry);
        List1.Selected(0, true);
        List1.Selected(2, true);
        cleaner::MarkedEntryRemoval run(List1, List2);
        cleaner::DeletedFolders deleted;
        cleaner::FolderRemover remover(fs, "/M", deleted);
        std::vector<RemovalOutcome> outcomes;
        for (const cleaner::RemovalRequest& request : run.requests())
            outcomes.push_back(remover.DeleteFolder(request));
        if (oneAtATime)
            for (const RemovalOutcome& outcome : outcomes)
                run.finish(outcome);
        else
            run.finish(outcomes);
        EXPECT_EQ(linesOf(List2), (std::vector<std::string>{"/M/.cache has been deleted.",
                                                            "/M/.cache/thumbnails/fail has been deleted."}));
        EXPECT_EQ(entriesOf(List1), (std::vector<Entry>{{"/M/.cacheless", false}, {"/M/z", false}}));
        EXPECT_EQ(run.deletedCount(), 2);
        EXPECT_EQ(run.foldersRemoved(), 5u);
        EXPECT_TRUE(fs.exists("/M/.cacheless"));
    }
}
