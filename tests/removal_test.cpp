// SPDX-License-Identifier: GPL-3.0-or-later
// Marking, and deleting marked folders without ever deleting data.
#include "cleaner/deletion_log.h"
#include "cleaner/folder_list.h"
#include "cleaner/marking.h"
#include "cleaner/memory_file_system.h"
#include "support/hooked_file_system.h"

#include <gtest/gtest.h>

#include <cstring>

using cleaner::DeletionLog;
using cleaner::FolderList;
using cleaner::MemoryFileSystem;
using cleaner::RemovalOutcome;
using testing_support::HookedFileSystem;
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
    void deleteMarked() { cleaner::ListBoxRemSel(List1, List2, fs); }

    MemoryFileSystem memory;
    HookedFileSystem fs{memory, [](auto, const auto&) { return std::error_code{}; }};
    FolderList List1;
    DeletionLog List2;
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

TEST_F(Removal, AFolderGoneMeanwhileIsLoggedAsDeleted) {
    memory.addFolder("/M");
    list({{"/M/gone", true}, {"/M/gone/deeper", true}, {"/M/file/below", true}});
    memory.addFile("/M/file", 0);
    deleteMarked();
    EXPECT_EQ(linesOf(List2),
              (std::vector<std::string>{"/M/gone has been deleted.", "/M/gone/deeper has been deleted.",
                                        "/M/file/below has been deleted."}));
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

    cleaner::ListBoxRemSel(List1, List2, racing);

    EXPECT_EQ(linesOf(List2), (std::vector<std::string>{
                                  "/M/A could not be deleted: " + std::string(std::strerror(ENOTEMPTY)) + ".",
                                  "/M/B" + kNotEmpty}));
    EXPECT_TRUE(memory.exists("/M/A/b/c/data"));
    EXPECT_TRUE(memory.exists("/M/B/pipe"));
    EXPECT_FALSE(memory.exists("/M/A/a")) << "the empty branch before it went, holding no data";
    EXPECT_EQ(entriesOf(List1), (std::vector<Entry>{{"/M/A", false}, {"/M/B", false}}));
}

TEST_F(Removal, PathsThatNameNoFolderAreRefused) {
    memory.addFolder("/M");
    list({{"/", true}, {"", true}, {"/M/..", true}, {"/M/.", true}});
    deleteMarked();
    const std::string invalid = std::strerror(EINVAL);
    EXPECT_EQ(linesOf(List2), (std::vector<std::string>{"/ could not be deleted: " + invalid + ".",
                                                        " could not be deleted: " + invalid + ".",
                                                        "/M/.. could not be deleted: " + invalid + ".",
                                                        "/M/. could not be deleted: " + invalid + "."}));
    EXPECT_TRUE(memory.exists("/M"));
    EXPECT_EQ(List1.SelCount(), 0);
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
    const RemovalOutcome outcomes[] = {{Result::NotEmpty, {}},
                                       {Result::Deleted, {}},
                                       {Result::Failed, std::make_error_code(std::errc::permission_denied)}};
    int i = 0;
    while (const auto path = run.next()) {
        handed.push_back(*path);
        run.finish(outcomes[i++]);
    }
    EXPECT_EQ(handed, (std::vector<std::string>{"/a", "/c", "/d"}));
    EXPECT_EQ(run.deletedCount(), 1);
    EXPECT_EQ(run.keptCount(), 2);
    EXPECT_EQ(entriesOf(List1), (std::vector<Entry>{{"/a", false}, {"/b", false}, {"/d", false}}));
}
