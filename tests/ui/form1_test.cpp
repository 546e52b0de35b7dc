// SPDX-License-Identifier: GPL-3.0-or-later
// The window at work: scans, marks, deletions and the log, driven as a user
// would drive them, on real folders.
#include "cleaner/posix_file_system.h"
#include "clickable_label.h"
#include "cleaner/visible_name.h"
#include "disk_path.h"
#include "drive_chooser.h"
#include "folder_tree.h"
#include "form1.h"
#include "maker.h"
#include "path_list_view.h"
#include "scan_runner.h"
#include "support/backends.h"
#include "support/hooked_file_system.h"
#include "support/memory_file_system.h"
#include "support/temp_folder.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using testing_support::DiskBackend;
using testing_support::HookedFileSystem;

namespace {

constexpr int kTimeoutMs = 20000;

bool waitUntilIdle(Form1& form) {
    return QTest::qWaitFor([&] { return !form.isBusy(); }, kTimeoutMs);
}

std::vector<std::string> listed(const Form1& form) {
    std::vector<std::string> paths;
    for (int i = 0; i < form.folderList().ListCount(); ++i)
        paths.push_back(form.folderList().List(i));
    return paths;
}

std::vector<bool> marks(const Form1& form) {
    std::vector<bool> result;
    for (int i = 0; i < form.folderList().ListCount(); ++i)
        result.push_back(form.folderList().Selected(i));
    return result;
}

std::vector<std::string> logLines(const Form1& form) {
    std::vector<std::string> lines;
    for (int i = 0; i < form.deletionLog().ListCount(); ++i)
        lines.push_back(form.deletionLog().List(i));
    return lines;
}

std::string status(const Form1& form) {
    return form.statusLine->text().toStdString();
}

// The lines a list draws its row `row` on.
QStringList shownLines(PathListView& list, int row) {
    QStyleOptionViewItem option;
    option.initFrom(&list);
    option.font = list.font();
    option.widget = &list;
    const QModelIndex index = list.model()->index(row, 0);
    option.rect = list.visualRect(index);
    const auto* delegate = qobject_cast<WrappedTextDelegate*>(list.itemDelegateForIndex(index));
    return delegate ? delegate->linesOf(option, index) : QStringList{};
}

bool present(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// A file system that takes its time over entries whose names start with
// "slow", and refuses to open folders named "locked".
std::unique_ptr<cleaner::FileSystem> slowAndLockedDisk(cleaner::PosixFileSystem& disk,
                                                       std::chrono::milliseconds delay) {
    return std::make_unique<HookedFileSystem>(
        disk, [delay](HookedFileSystem::Operation operation, const std::string& name) -> std::error_code {
            if (name.rfind("slow", 0) == 0)
                std::this_thread::sleep_for(delay);
            if (operation == HookedFileSystem::Operation::Open && name == "locked")
                return std::make_error_code(std::errc::permission_denied);
            return {};
        });
}

} // namespace

// Found folders reach the window a few times a second, not once per batch
// the scan hands over: each delivery lays out and repaints the list.
TEST(ScanRunner, FoundFoldersArriveAFewTimesASecondNotBatchByBatch) {
    constexpr int kSubFolders = 200;
    testing_support::MemoryFileSystem memory;
    for (int i = 0; i < kSubFolders; ++i) {
        char path[32];
        std::snprintf(path, sizeof path, "/M/s%03d/e", i);
        memory.addFolder(path); // each subfolder of /M its own batch of two
    }
    std::mutex oneAtATime;
    HookedFileSystem fs(memory, [&](HookedFileSystem::Operation operation, const std::string&) {
        if (operation == HookedFileSystem::Operation::Open) {
            const std::lock_guard lock(oneAtATime);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return std::error_code{};
    });
    ScanRunner runner;
    int deliveries = 0;
    std::size_t arrived = 0;
    bool finished = false;
    QObject::connect(&runner, &ScanRunner::found, [&] {
        ++deliveries;
        for (const auto& batch : runner.takeFound())
            arrived += batch.size();
    });
    QObject::connect(&runner, &ScanRunner::finished, [&] { finished = true; });
    const auto start = std::chrono::steady_clock::now();
    runner.start(fs, "/M");
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished; }, kTimeoutMs));
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);

    EXPECT_EQ(arrived, 2u * kSubFolders);
    EXPECT_GE(deliveries, 2) << "nothing arrived while the scan ran";
    EXPECT_LE(deliveries, took.count() / 40 + 2) << "in " << took.count() << " ms";
}

TEST(Form1, NothingIsScannedUntilAFolderIsChosen) {
    Form1 form;
    EXPECT_FALSE(form.isBusy());
    EXPECT_EQ(form.folderList().ListCount(), 0);
    EXPECT_EQ(form.mainFolderPath(), "");
    EXPECT_EQ(form.Dir1->Path(), QDir::currentPath()) << "the tree shows the working folder";
    EXPECT_EQ(form.Dir1->pathOf(form.Dir1->currentIndex()), QDir::currentPath()) << "and it is current";
}

TEST(Form1, ScanMarkTickDeleteAndClearTheLog) {
    DiskBackend disk;
    disk.folder("a/b");
    disk.folder("c");
    disk.folder("d");
    disk.folder("kept/e");
    disk.file("kept/data", 3);
    Form1 form;

    form.Dir1->setPath(QString::fromStdString(disk.main()));
    ASSERT_TRUE(waitUntilIdle(form));
    EXPECT_EQ(form.mainFolderPath(), disk.main());
    EXPECT_EQ(listed(form), (std::vector<std::string>{disk.path("a"), disk.path("a/b"), disk.path("c"),
                                                      disk.path("d"), disk.path("kept/e")}));
    EXPECT_EQ(status(form), "Found 5 empty folders in " + disk.main() + ".");
    EXPECT_EQ(form.List1->model()->rowCount(), 5);

    QTest::mouseClick(form.Command3, Qt::LeftButton); // Mark All
    EXPECT_EQ(marks(form), std::vector<bool>(5, true));
    EXPECT_EQ(status(form), "Found 5 empty folders in " + disk.main() + ". 5 of 5 folders marked; 5 folders will go.");
    QTest::mouseClick(form.Command4, Qt::LeftButton); // Unmark All
    EXPECT_EQ(marks(form), std::vector<bool>(5, false));
    EXPECT_EQ(status(form), "Found 5 empty folders in " + disk.main() + ".");

    // Tick "a" with the mouse on its check box and "d" with the keyboard.
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    const QRect aRow = form.List1->visualRect(form.List1->model()->index(0, 0));
    QTest::mouseClick(form.List1->viewport(), Qt::LeftButton, {}, QPoint(aRow.left() + 9, aRow.center().y()));
    form.List1->setCurrentIndex(form.List1->model()->index(3, 0));
    QTest::keyClick(form.List1, Qt::Key_Space);
    EXPECT_EQ(marks(form), (std::vector<bool>{true, false, false, true, false}));
    EXPECT_EQ(status(form),
              "Found 5 empty folders in " + disk.main() + ". 2 of 5 folders marked; 3 folders will go.");
    // "a/b" goes with "a": it shows ticked, dimmed, says why, and a click
    // on it changes nothing.
    const QModelIndex child = form.List1->model()->index(1, 0);
    EXPECT_EQ(child.data(Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Checked);
    EXPECT_TRUE(child.data(kGoesWithRole).toBool());
    EXPECT_EQ(child.data(Qt::AccessibleDescriptionRole).toString(), "goes with the marked folder above it");
    const QRect childRow = form.List1->visualRect(child);
    QTest::mouseClick(form.List1->viewport(), Qt::LeftButton, {}, QPoint(childRow.left() + 60, childRow.center().y()));
    EXPECT_EQ(marks(form), (std::vector<bool>{true, false, false, true, false}));

    disk.file("d/arrived", 0);                        // since the scan, "d" holds a file
    EXPECT_FALSE(form.undoButton->isVisible()) << "nothing to undo yet";
    QTest::mouseClick(form.Command2, Qt::LeftButton); // Delete
    ASSERT_TRUE(waitUntilIdle(form));
    EXPECT_EQ(logLines(form),
              (std::vector<std::string>{disk.path("a") + " has been moved to the Trash.",
                                        disk.path("d") + " was not deleted: it is no longer empty."}));
    // a/b went with a: it leaves the list too.
    EXPECT_EQ(listed(form), (std::vector<std::string>{disk.path("c"), disk.path("d"), disk.path("kept/e")}));
    EXPECT_EQ(marks(form), std::vector<bool>(3, false));
    EXPECT_FALSE(present(disk.path("a")));
    EXPECT_TRUE(present(disk.path("d/arrived")));
    const std::string trash = ::geteuid() == 0 ? "root's Trash" : "the Trash";
    EXPECT_EQ(status(form), "1 marked folder moved to " + trash +
                                ", 2 folders in all, 1 not deleted (the log says why). Undo (Ctrl+Z) puts them back.");
    EXPECT_EQ(form.List2->model()->rowCount(), 2);

    // Undo brings "a" back with "a/b", unmarked at their places, while the
    // mark on "d" stays; it is offered no more.
    form.List1->setCurrentIndex(form.List1->model()->index(1, 0));
    QTest::keyClick(form.List1, Qt::Key_Space);
    ASSERT_TRUE(form.undoButton->isVisible());
    QTest::mouseClick(form.undoButton, Qt::LeftButton);
    ASSERT_TRUE(waitUntilIdle(form));
    EXPECT_EQ(listed(form), (std::vector<std::string>{disk.path("a"), disk.path("a/b"), disk.path("c"),
                                                      disk.path("d"), disk.path("kept/e")}));
    EXPECT_EQ(marks(form), (std::vector<bool>{false, false, false, true, false}));
    EXPECT_TRUE(present(disk.path("a/b")));
    EXPECT_EQ(logLines(form).back(), disk.path("a") + " has been put back.");
    EXPECT_EQ(status(form), "1 folder put back from " + trash +
                                ", 2 entries back in the list. 1 of 5 folders marked; 1 folder will go.");
    EXPECT_FALSE(form.undoButton->isVisible());

    // Shift with a click deletes for good, once asked.
    form.List1->setCurrentIndex(form.List1->model()->index(3, 0));
    QTest::keyClick(form.List1, Qt::Key_Space);
    form.List1->setCurrentIndex(form.List1->model()->index(2, 0));
    QTest::keyClick(form.List1, Qt::Key_Space); // "c" alone is marked
    QTest::mouseClick(form.Command2, Qt::LeftButton, Qt::ShiftModifier);
    auto* question = form.findChild<QMessageBox*>("deletePermanently");
    ASSERT_NE(question, nullptr);
    EXPECT_EQ(question->text(), "Delete 1 folder permanently? This cannot be undone.");
    EXPECT_TRUE(present(disk.path("c"))) << "nothing goes before the answer";
    const QList<QAbstractButton*> answers = question->buttons();
    const auto permanently = std::find_if(answers.begin(), answers.end(),
                                          [](QAbstractButton* b) { return b->text() == "Delete Permanently"; });
    ASSERT_NE(permanently, answers.end());
    (*permanently)->click();
    ASSERT_TRUE(waitUntilIdle(form));
    EXPECT_EQ(logLines(form).back(), disk.path("c") + " has been deleted.");
    EXPECT_FALSE(present(disk.path("c")));
    EXPECT_FALSE(form.undoButton->isVisible()) << "a permanent deletion can't be undone";

    // Clearing the log leaves the list and its marks alone.
    form.List1->setCurrentIndex(form.List1->model()->index(1, 0));
    QTest::keyClick(form.List1, Qt::Key_Space);
    QTest::mouseClick(form.clrLog, Qt::LeftButton);
    EXPECT_EQ(form.deletionLog().ListCount(), 0);
    EXPECT_EQ(marks(form), (std::vector<bool>{false, true, false, false}));
    EXPECT_EQ(form.Dir1->Path().toStdString(), disk.main());
}

TEST(Form1, DeleteWithNothingMarkedChangesNothing) {
    DiskBackend disk;
    disk.folder("a");
    Form1 form;
    form.Dir1->setPath(QString::fromStdString(disk.main()));
    ASSERT_TRUE(waitUntilIdle(form));
    QTest::mouseClick(form.Command2, Qt::LeftButton);
    EXPECT_FALSE(form.isBusy());
    EXPECT_EQ(listed(form), std::vector<std::string>{disk.path("a")});
    EXPECT_EQ(form.deletionLog().ListCount(), 0);
    EXPECT_TRUE(present(disk.path("a")));
    EXPECT_EQ(status(form), "Nothing is marked.");
}

// The main folder's path leads elsewhere after the scan (its drive was
// unmounted, and the folder beneath the mount point looks alike): a delete
// before the window notices touches nothing and says so; then the window
// notices, empties the list and says why.
TEST(Form1, AMainFolderReplacedAfterTheScanIsNeverDeletedFrom) {
    DiskBackend disk;
    disk.folder("d/e1/e2");
    disk.folder("d/e3");
    Form1 form;
    form.Dir1->setPath(QString::fromStdString(disk.path("d")));
    ASSERT_TRUE(waitUntilIdle(form));
    ASSERT_EQ(form.folderList().ListCount(), 3);

    ASSERT_EQ(::rename(disk.path("d").c_str(), disk.path("elsewhere").c_str()), 0);
    disk.folder("d/e1/e2"); // the same names, another folder
    disk.folder("d/e3");
    QTest::mouseClick(form.Command3, Qt::LeftButton);
    QTest::mouseClick(form.Command2, Qt::LeftButton);
    ASSERT_TRUE(waitUntilIdle(form));
    const std::string gone = " was not deleted: it is no longer there.";
    EXPECT_EQ(logLines(form), (std::vector<std::string>{disk.path("d/e1") + gone, disk.path("d/e1/e2") + gone,
                                                        disk.path("d/e3") + gone}));
    EXPECT_TRUE(present(disk.path("d/e1/e2")));
    EXPECT_TRUE(present(disk.path("elsewhere/e1/e2")));

    ASSERT_TRUE(QTest::qWaitFor([&] { return status(form).find("is no longer there") != std::string::npos; },
                                kTimeoutMs));
    EXPECT_EQ(status(form),
              disk.path("d") +
                  " is no longer there (it was removed, or its drive was unmounted). The list was cleared.");
    EXPECT_EQ(form.folderList().ListCount(), 0);
    EXPECT_EQ(form.Dir1->Path().toStdString(), disk.path("d"));

    // Gone altogether while the tree shows it: the tree moves up.
    form.Dir1->setPath(QString::fromStdString(disk.path("d/e1")));
    ASSERT_TRUE(waitUntilIdle(form));
    ASSERT_EQ(form.folderList().ListCount(), 1);
    testing_support::removeTree(disk.path("d"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.folderList().ListCount() == 0; }, kTimeoutMs));
    EXPECT_EQ(form.Dir1->Path().toStdString(), disk.main());
    EXPECT_EQ(form.statusLine->toolTip().toStdString(), status(form)) << "the whole line, however long";
}

namespace {

// A drive (a small tmpfs) mounted beneath a test folder, in a mount table
// of the test's own: ctest runs these under in_private_mounts.sh.
class Form1Mounts : public ::testing::Test {
protected:
    void SetUp() override {
        if (qEnvironmentVariable("EFR_PRIVATE_MOUNTS") != "1")
            GTEST_SKIP() << "runs in a private mount namespace only";
        disk.folder("drive");
        ASSERT_EQ(::mount("efr-test", disk.path("drive").c_str(), "tmpfs", 0, "size=1m"), 0)
            << std::strerror(errno);
    }
    // Makes the drive the main folder and waits for its scan.
    void scanDrive() {
        form.Dir1->setPath(QString::fromStdString(disk.path("drive")));
        ASSERT_TRUE(waitUntilIdle(form));
    }
    void unmountDrive() { ASSERT_EQ(::umount(disk.path("drive").c_str()), 0) << std::strerror(errno); }

    DiskBackend disk;
    Form1 form;
};

} // namespace

// Unmounting the drive while the window shows it.
TEST_F(Form1Mounts, UnmountingTheDriveEmptiesTheListAndDeletesNothing) {
    disk.folder("drive/e1/e2");
    disk.folder("drive/e3");
    scanDrive();
    ASSERT_EQ(form.folderList().ListCount(), 3);

    unmountDrive();
    QTest::mouseClick(form.Command3, Qt::LeftButton);
    QTest::mouseClick(form.Command2, Qt::LeftButton);
    ASSERT_TRUE(waitUntilIdle(form));
    const std::string gone = " was not deleted: it is no longer there.";
    EXPECT_EQ(logLines(form),
              (std::vector<std::string>{disk.path("drive/e1") + gone, disk.path("drive/e1/e2") + gone,
                                        disk.path("drive/e3") + gone}));
    // Once the deletion is over, the window says what became of its folder.
    EXPECT_EQ(form.folderList().ListCount(), 0);
    EXPECT_EQ(status(form),
              disk.path("drive") +
                  " is no longer there (it was removed, or its drive was unmounted). The list was cleared.");
}

TEST_F(Form1Mounts, AnUnmountedDriveEmptiesTheListWithinMoments) {
    disk.folder("drive/e");
    scanDrive();
    ASSERT_EQ(form.folderList().ListCount(), 1);

    unmountDrive();
    QTRY_COMPARE_WITH_TIMEOUT(form.folderList().ListCount(), 0, 2000);
}

// Texts cut at the right edge show whole as tooltips; a click on an entry's
// text marks it; the log keeps its newest line in view.
TEST(Form1, CutTextsShowWholeAndEntriesMarkWithAClickOnTheirText) {
    DiskBackend disk;
    const std::string longName(200, 'n');
    disk.folder("s");
    disk.folder(longName);
    Form1 form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.Dir1->setPath(QString::fromStdString(disk.main()));
    ASSERT_TRUE(waitUntilIdle(form));
    ASSERT_EQ(listed(form), (std::vector<std::string>{disk.path(longName), disk.path("s")}));
    const QRect longRow = form.List1->visualRect(form.List1->model()->index(0, 0));
    const QRect shortRow = form.List1->visualRect(form.List1->model()->index(1, 0));
    // The long path shows whole, on as many lines as it needs.
    EXPECT_EQ(shownLines(*form.List1, 0).join("").toStdString(), disk.path(longName));
    EXPECT_GE(shownLines(*form.List1, 0).size(), 3);
    EXPECT_GT(longRow.height(), 2 * shortRow.height());
    EXPECT_EQ(shownLines(*form.List1, 1).size(), 1);

    QTest::mouseClick(form.List1->viewport(), Qt::LeftButton, {},
                      QPoint(shortRow.left() + 60, shortRow.center().y()));
    EXPECT_EQ(marks(form), (std::vector<bool>{false, true}));
    QTest::mouseClick(form.List1->viewport(), Qt::LeftButton, {},
                      QPoint(shortRow.left() + 60, shortRow.center().y()));
    EXPECT_EQ(marks(form), (std::vector<bool>{false, false}));

    // Many log lines: the newest stays in view until the user scrolls up.
    for (int i = 0; i < 300; ++i)
        disk.folder("many/" + std::to_string(1000 + i));
    form.Dir1->setPath(QString::fromStdString(disk.path("many")));
    ASSERT_TRUE(waitUntilIdle(form));
    QTest::mouseClick(form.Command3, Qt::LeftButton);
    QTest::mouseClick(form.Command2, Qt::LeftButton);
    ASSERT_TRUE(waitUntilIdle(form));
    QApplication::processEvents();
    QScrollBar* bar = form.List2->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
    const QRect lastLine = form.List2->visualRect(form.List2->model()->index(299, 0));
    EXPECT_TRUE(form.List2->viewport()->rect().intersects(lastLine));
    EXPECT_EQ(shownLines(*form.List2, 299).join("").toStdString(),
              disk.path("many/1299") + " has been moved to the Trash.");
}

// Tabbing to a list or the tree shows where the focus is, even when empty.
TEST(Form1, ListsAndTheTreeShowTheFocus) {
    Form1 form;
    form.show();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    const std::pair<QWidget*, QAbstractScrollArea*> tabs[] = {
        {form.clrLog, form.List1}, {form.Drive1, form.Dir1}, {form.Command4, form.List2}};
    for (const auto& [before, view] : tabs) {
        before->setFocus();
        QApplication::processEvents();
        const QImage without = view->viewport()->grab().toImage();
        QTest::keyClick(before, Qt::Key_Tab);
        ASSERT_TRUE(view->hasFocus()) << view->objectName().toStdString();
        const QImage with = view->viewport()->grab().toImage();
        EXPECT_NE(without, with) << view->objectName().toStdString();
    }
}

TEST(Form1, ChoosingAnotherFolderDuringAScanShowsOnlyTheNewFolders) {
    DiskBackend disk;
    // Each subfolder of "first" takes a while, and is handed out on its own.
    for (int i = 0; i < 60; ++i)
        disk.folder("first/a" + std::to_string(i) + "/slow");
    disk.folder("second/x");
    cleaner::PosixFileSystem posix;
    Form1 form(slowAndLockedDisk(posix, std::chrono::milliseconds(15)));

    form.Dir1->setPath(QString::fromStdString(disk.path("first")));
    ASSERT_TRUE(form.isBusy());
    EXPECT_FALSE(form.Command2->isEnabled());
    EXPECT_FALSE(form.Command3->isEnabled());
    EXPECT_FALSE(form.Command4->isEnabled());
    EXPECT_EQ(status(form).find("Scanning " + disk.path("first") + ": "), 0u) << status(form);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.folderList().ListCount() > 0; }, kTimeoutMs));
    // Let the first scan queue up more results that this thread has not
    // taken yet, then switch.
    std::this_thread::sleep_for(std::chrono::milliseconds(150));

    std::vector<std::string> insertedAfterSwitch;
    QObject::connect(form.List1->model(), &QAbstractItemModel::rowsInserted, &form,
                     [&](const QModelIndex&, int first, int last) {
                         for (int row = first; row <= last; ++row)
                             insertedAfterSwitch.push_back(form.folderList().List(row));
                     });
    form.Dir1->setPath(QString::fromStdString(disk.path("second")));
    ASSERT_TRUE(waitUntilIdle(form));
    QTest::qWait(100); // anything else the first scan had would arrive now

    EXPECT_EQ(insertedAfterSwitch, std::vector<std::string>{disk.path("second/x")});
    EXPECT_EQ(listed(form), std::vector<std::string>{disk.path("second/x")});
    EXPECT_TRUE(form.Command2->isEnabled());
}

TEST(Form1, AScanThatStopsSaysWhereAndWhy) {
    DiskBackend disk;
    disk.folder("1");
    disk.folder("2/locked");
    disk.folder("3");
    cleaner::PosixFileSystem posix;
    Form1 form(slowAndLockedDisk(posix, std::chrono::milliseconds(0)));
    form.Dir1->setPath(QString::fromStdString(disk.main()));
    ASSERT_TRUE(waitUntilIdle(form));
    EXPECT_EQ(listed(form), std::vector<std::string>{disk.path("1")});
    EXPECT_EQ(status(form), "Found 1 empty folder, then the scan stopped: " + disk.path("2/locked") +
                                " could not be read (Permission denied). Later folders were not examined.");
}

TEST(Form1, FoldersThatSomethingNeedsAreLeftOutAndTheStatusLineSaysWhich) {
    DiskBackend disk;
    disk.textFile(".config/user-dirs.dirs", "XDG_MUSIC_DIR=\"$HOME/Music\"\n");
    disk.folder("Music/old");
    for (int i = 10; i < 31; ++i)
        disk.folder(std::string("r").append(std::to_string(i)).append("/.git/refs"));
    Form1 form;

    form.Dir1->setPath(QString::fromStdString(disk.main()));
    ASSERT_TRUE(waitUntilIdle(form));
    EXPECT_EQ(listed(form), std::vector<std::string>{disk.path("Music/old")});
    EXPECT_EQ(status(form), "Found 1 empty folder in " + disk.main() +
                                ". 23 folders that the system or a program needs were left out.");
    // The tooltip holds the whole status text, then the first kept folders;
    // a click on the line shows them all.
    QStringList tip = form.statusLine->toolTip().split('\n');
    ASSERT_EQ(tip.size(), 23);
    EXPECT_EQ(tip.front(), form.statusLine->text());
    EXPECT_EQ(tip[1], "");
    // A folder holding .config is a home: its hidden folders are programs'.
    EXPECT_EQ(tip[2].toStdString(), disk.path(".config") + ": programs keep their state in it");
    EXPECT_EQ(tip[3].toStdString(), disk.path("Music") + ": the desktop uses it (XDG_MUSIC_DIR)");
    EXPECT_EQ(tip[21].toStdString(), disk.path("r27/.git") + ": it is part of a git repository");
    EXPECT_EQ(tip.back().toStdString(), "and 3 more: \"Left Out...\" lists them all.");
    // A click on the line, or "Left Out..." (Enter on it, say), lists them all.
    const auto all = [&form] {
        auto* box = form.findChild<QMessageBox*>("keptFolders");
        const QStringList lines = box ? box->detailedText().split('\n') : QStringList{};
        if (box)
            delete box;
        return lines;
    };
    QTest::mouseClick(form.statusLine, Qt::LeftButton);
    ASSERT_EQ(all().size(), 23);
    ASSERT_FALSE(form.keptButton->isHidden());
    form.keptButton->setFocus();
    QTest::keyClick(form.keptButton, Qt::Key_Return);
    const QStringList listedAll = all();
    ASSERT_EQ(listedAll.size(), 23);
    EXPECT_EQ(listedAll.back().toStdString(), disk.path("r30/.git") + ": it is part of a git repository");

    form.Dir1->setPath(QString::fromStdString(disk.path("Music")));
    ASSERT_TRUE(waitUntilIdle(form));
    EXPECT_EQ(status(form), "Found 1 empty folder in " + disk.path("Music") + ".");
    EXPECT_TRUE(form.keptButton->isHidden()) << "nothing was left out this time";

    form.Dir1->setPath(QString::fromStdString(disk.path("r10/.git/refs")));
    ASSERT_TRUE(waitUntilIdle(form));
    EXPECT_EQ(listed(form), std::vector<std::string>{});
    EXPECT_EQ(status(form),
              disk.path("r10/.git/refs") + ": it is part of a git repository, so nothing in it is listed.");
}

// The list, the log and the tree show a name so that it can't pass for
// another; the entries keep the name's bytes, and deleting uses those.
TEST(Form1, NamesThatCouldPassForOthersAreShownWrittenOut) {
    DiskBackend disk;
    disk.folder("two\nlines");
    disk.folder("\xe2\x80\xaelive");
    Form1 form;
    form.Dir1->setPath(QString::fromStdString(disk.main()));
    ASSERT_TRUE(waitUntilIdle(form));
    ASSERT_EQ(listed(form),
              (std::vector<std::string>{disk.path("two\nlines"), disk.path("\xe2\x80\xaelive")}));
    const auto shown = [](const QAbstractItemModel* model, int row) {
        return model->index(row, 0).data().toString().toStdString();
    };
    EXPECT_EQ(shown(form.List1->model(), 0), disk.path("two\\nlines"));
    EXPECT_EQ(shown(form.List1->model(), 1), disk.path("\\u202elive"));

    QTest::mouseClick(form.Command3, Qt::LeftButton); // Mark All
    QTest::mouseClick(form.Command2, Qt::LeftButton); // Delete
    ASSERT_TRUE(waitUntilIdle(form));
    EXPECT_EQ(shown(form.List2->model(), 0), disk.path("two\\nlines") + " has been moved to the Trash.");
    EXPECT_FALSE(present(disk.path("two\nlines")));

    const auto* delegate = qobject_cast<QStyledItemDelegate*>(form.Dir1->itemDelegate());
    ASSERT_NE(delegate, nullptr);
    EXPECT_EQ(delegate->displayText(QString("a\u202Eb\nc"), QLocale()).toStdString(), "a\\u202eb\\nc");
}

// Paths go between the disk and the window without loss, whatever bytes
// they hold; well-formed UTF-8 reads as the text it is.
TEST(DiskPath, EveryByteStringComesBackAsItWas) {
    struct Row {
        std::string bytes;
        bool readsAsUtf8;
    };
    for (const Row& row : {Row{"/plain/a b", true}, Row{"/caf\xc3\xa9/\xf0\x9f\x93\x81", true},
                           Row{std::string("/bad\xff") + "byte", false},
                           Row{"/\xed\xb2\x80", false}, // a surrogate, encoded
                           Row{"/cut\xe2\x82", false}, Row{"/long\xc0\xaf", false},
                           Row{std::string("/nul\0x", 6), true}, Row{"", true}}) {
        const QString carried = pathFromDisk(row.bytes);
        EXPECT_EQ(pathToDisk(carried), row.bytes) << cleaner::visibleName(row.bytes);
        EXPECT_EQ(carried == QString::fromUtf8(row.bytes.data(), static_cast<qsizetype>(row.bytes.size())),
                  row.readsAsUtf8)
            << cleaner::visibleName(row.bytes);
    }
}

// A folder whose name is not UTF-8 shows in the tree written out as the
// lists write it, and opening it scans the real folder.
TEST(Form1, AFolderNamedInAnyBytesShowsInTheTreeAndOpens) {
    const std::string oddName = std::string("bad\xff") + "byte";
    DiskBackend disk;
    disk.folder(oddName + "/e");
    disk.folder("plain");
    Form1 form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.Dir1->setPath(pathFromDisk(disk.main()));
    ASSERT_TRUE(waitUntilIdle(form));
    const QModelIndex current = form.Dir1->currentIndex();
    ASSERT_EQ(form.Dir1->model()->rowCount(current), 2);
    const QModelIndex odd = form.Dir1->model()->index(0, 0, current);
    const auto* delegate = qobject_cast<QStyledItemDelegate*>(form.Dir1->itemDelegate());
    ASSERT_NE(delegate, nullptr);
    EXPECT_EQ(delegate->displayText(odd.data(), QLocale()).toStdString(), "bad\\xffbyte");
    // A screen reader hears the name as it shows, and a header named for
    // what the tree holds.
    QAccessibleInterface* tree = QAccessible::queryAccessibleInterface(form.Dir1);
    ASSERT_NE(tree, nullptr);
    QStringList names;
    QStringList headers;
    for (int i = 0; i < tree->childCount(); ++i)
        if (QAccessibleInterface* child = tree->child(i))
            (child->role() == QAccessible::ColumnHeader ? headers : names) << child->text(QAccessible::Name);
    EXPECT_TRUE(names.contains("bad\\xffbyte")) << names.join(", ").toStdString();
    EXPECT_EQ(headers, QStringList{"Folders"});

    form.Dir1->setCurrentIndex(odd);
    form.Dir1->setFocus();
    QTest::keyClick(form.Dir1, Qt::Key_Return);
    ASSERT_TRUE(waitUntilIdle(form));
    EXPECT_EQ(pathToDisk(form.Dir1->Path()), disk.path(oddName));
    EXPECT_EQ(listed(form), std::vector<std::string>{disk.path(oddName + "/e")});
}

// A window left alone after a scan does no file-system work at all (a drive
// may sleep), yet notices within moments when the way to its folder changes
// or the folder goes; changes beside the way don't wake it.
TEST(Form1, AWindowLeftAloneTouchesNoDiskYetNoticesItsFolderGoing) {
    DiskBackend disk;
    disk.folder("way/main/e");
    disk.folder("other/e");
    cleaner::PosixFileSystem posix;
    auto hooked =
        std::make_unique<HookedFileSystem>(posix, [](auto, const auto&) { return std::error_code{}; });
    const HookedFileSystem& fs = *hooked;
    Form1 form(std::move(hooked));
    form.Dir1->setPath(QString::fromStdString(disk.path("way/main")));
    ASSERT_TRUE(waitUntilIdle(form));
    ASSERT_EQ(form.folderList().ListCount(), 1);

    const int calls = fs.calls;
    QTest::qWait(3000);
    disk.folder("way/beside");
    ASSERT_EQ(::rmdir(disk.path("way/beside").c_str()), 0);
    disk.folder("way/main/new");
    QTest::qWait(300);
    EXPECT_EQ(fs.calls, calls) << "file-system calls while the window sat idle";

    ASSERT_EQ(::rename(disk.path("way").c_str(), disk.path("moved").c_str()), 0);
    QTRY_COMPARE_WITH_TIMEOUT(form.folderList().ListCount(), 0, 2000);
    EXPECT_EQ(status(form),
              disk.path("way/main") +
                  " is no longer there (it was removed, or its drive was unmounted). The list was cleared.");

    form.Dir1->setPath(QString::fromStdString(disk.path("other")));
    ASSERT_TRUE(waitUntilIdle(form));
    ASSERT_EQ(form.folderList().ListCount(), 1);
    testing_support::removeTree(disk.path("other"));
    QTRY_COMPARE_WITH_TIMEOUT(form.folderList().ListCount(), 0, 2000);
}

TEST(Form1, AFolderThatIsGoneLeavesTheTreeWhereItWasAndEmptiesTheList) {
    DiskBackend disk;
    disk.folder("a");
    Form1 form;
    form.Dir1->setPath(QString::fromStdString(disk.main()));
    ASSERT_TRUE(waitUntilIdle(form));
    ASSERT_EQ(form.folderList().ListCount(), 1);

    form.Dir1->setPath(QString::fromStdString(disk.path("vanished")));
    EXPECT_EQ(form.Dir1->Path().toStdString(), disk.main());
    EXPECT_EQ(form.folderList().ListCount(), 0);
    EXPECT_EQ(status(form),
              "Cannot open " + disk.path("vanished") + ": No such file or directory. The list was cleared.");
}

TEST(Form1, ALongDeletionKeepsTheWindowAliveAndLocksTheList) {
    DiskBackend disk;
    for (int i = 0; i < 6; ++i)
        disk.folder("slow" + std::to_string(i));
    cleaner::PosixFileSystem posix;
    Form1 form(slowAndLockedDisk(posix, std::chrono::milliseconds(30)));
    form.Dir1->setPath(QString::fromStdString(disk.main()));
    ASSERT_TRUE(waitUntilIdle(form));
    QTest::mouseClick(form.Command3, Qt::LeftButton);
    QTest::mouseClick(form.Command2, Qt::LeftButton);

    ASSERT_TRUE(form.isBusy());
    EXPECT_FALSE(form.List1->isEnabled());
    EXPECT_FALSE(form.Dir1->isEnabled());
    EXPECT_FALSE(form.Drive1->isEnabled());
    EXPECT_FALSE(form.Command2->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return status(form).find("Moving to the Trash: ") == 0 &&
                   status(form) != "Moving to the Trash: 0 of 6 folders done";
        },
        kTimeoutMs))
        << status(form);
    ASSERT_TRUE(waitUntilIdle(form));
    EXPECT_EQ(status(form).substr(0, 25), "6 marked folders moved to");
    EXPECT_EQ(form.deletionLog().ListCount(), 6);
    EXPECT_TRUE(form.List1->isEnabled());
    EXPECT_TRUE(form.List1->hasFocus() || !form.isActiveWindow()) << "the focus goes back to the list";
}

// One marked folder with a big tree beneath it is one request; the count
// follows its folders as they go all the same. Escape (or "Cancel") stops
// the run after the folder at hand: what went is logged, the rest stays
// listed and marked.
TEST(Form1, TheCountFollowsABigTreeAndCancelStopsTheRun) {
    DiskBackend disk;
    for (int i = 0; i < 12; ++i)
        disk.folder("slowtree/slow" + std::to_string(i));
    for (int i = 0; i < 4; ++i)
        disk.folder("slowz" + std::to_string(i));
    cleaner::PosixFileSystem posix;
    Form1 form(slowAndLockedDisk(posix, std::chrono::milliseconds(20)));
    form.show();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    form.Dir1->setPath(QString::fromStdString(disk.main()));
    ASSERT_TRUE(waitUntilIdle(form));
    ASSERT_EQ(form.folderList().ListCount(), 17);
    // The tree's top and the four after it: the tree's folders go with it.
    for (int row = 0; row < 17; ++row) {
        const std::string path = form.folderList().List(row);
        if (path == disk.path("slowtree") || path.find("/slowz") != std::string::npos)
            form.List1->model()->setData(form.List1->model()->index(row, 0), Qt::Checked, Qt::CheckStateRole);
    }
    ASSERT_EQ(form.folderList().SelCount(), 5);

    // Deleted for good, children first: the count moves before the tree is done.
    QTest::mouseClick(form.Command2, Qt::LeftButton, Qt::ShiftModifier);
    auto* question = form.findChild<QMessageBox*>("deletePermanently");
    ASSERT_NE(question, nullptr);
    for (QAbstractButton* button : question->buttons())
        if (button->text() == "Delete Permanently")
            button->click();
    ASSERT_TRUE(form.isBusy());
    EXPECT_TRUE(form.cancelButton->isVisible());
    std::set<std::string> seen;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            seen.insert(status(form));
            return seen.size() >= 4 || !form.isBusy();
        },
        kTimeoutMs));
    EXPECT_EQ(form.deletionLog().ListCount(), 0) << "the tree is still at hand: " << status(form);
    for (const std::string& line : seen)
        EXPECT_EQ(line.find("Deleting: "), 0u) << line;
    EXPECT_TRUE(seen.contains("Deleting: 0 of 17 folders done") || seen.size() >= 4);

    // Once the tree is gone, Escape stops the run.
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.deletionLog().ListCount() >= 1; }, kTimeoutMs));
    form.activateWindow(); // again: the question had it
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    QWidget* focused = form.focusWidget();
    ASSERT_NE(focused, nullptr);
    EXPECT_EQ(focused, form.cancelButton) << "the list is locked: the focus waits on Cancel";
    QTest::keyClick(focused, Qt::Key_Escape);
    ASSERT_TRUE(waitUntilIdle(form));
    EXPECT_EQ(status(form).find("Cancelled: "), 0u) << status(form);
    const std::vector<std::string> lines = logLines(form);
    const auto gone = std::count_if(lines.begin(), lines.end(),
                                    [](const std::string& line) { return line.ends_with(" has been deleted."); });
    EXPECT_LT(gone, 5) << "not every marked folder went";
    EXPECT_EQ(form.folderList().ListCount(), 4 - (gone - 1)) << "the tree left with its folders";
    EXPECT_EQ(form.folderList().SelCount(), form.folderList().ListCount()) << "what is left stays marked";
    EXPECT_FALSE(form.cancelButton->isVisible());
}

// Where no Trash can take the marked folders, "Delete" asks once for them
// all, and deletes for good only when told to; skipped ones stay marked.
TEST(Form1, FoldersNoTrashCanTakeAreDeletedOnlyWhenTheUserSaysSo) {
    DiskBackend disk;
    disk.folder("q1");
    disk.folder("q2");
    cleaner::PosixFileSystem posix;
    const std::string uid = std::to_string(::geteuid());
    Form1 form(std::make_unique<HookedFileSystem>(posix, [uid](auto operation, const std::string& name) {
        const bool aTrash = name == "Trash" || name == ".Trash-" + uid || name == uid;
        return operation == HookedFileSystem::Operation::Open && aTrash
                   ? std::make_error_code(std::errc::read_only_file_system)
                   : std::error_code{};
    }));
    form.Dir1->setPath(QString::fromStdString(disk.main()));
    ASSERT_TRUE(waitUntilIdle(form));
    const auto answer = [&form](const QString& button) {
        QMessageBox* question = nullptr;
        EXPECT_TRUE(QTest::qWaitFor([&] { return (question = form.findChild<QMessageBox*>("noTrash")) != nullptr; },
                                    kTimeoutMs));
        if (!question)
            return std::string();
        const std::string text = question->text().toStdString();
        for (QAbstractButton* each : question->buttons())
            if (each->text() == button)
                each->click();
        QApplication::processEvents();
        return text;
    };
    const std::string trashAt = qgetenv("XDG_DATA_HOME").toStdString() + "/Trash";

    QTest::mouseClick(form.Command3, Qt::LeftButton);
    QTest::mouseClick(form.Command2, Qt::LeftButton);
    EXPECT_EQ(answer("Skip"), "2 marked folders can't be moved to the Trash: the Trash at " + trashAt + " can't be used.");
    ASSERT_TRUE(waitUntilIdle(form));
    EXPECT_EQ(marks(form), (std::vector<bool>{true, true}));
    EXPECT_TRUE(present(disk.path("q1")));
    EXPECT_TRUE(present(disk.path("q2")));
    EXPECT_EQ(form.deletionLog().ListCount(), 0);
    EXPECT_NE(status(form).find("2 folders that no Trash could take were skipped; they stay marked."), std::string::npos)
        << status(form);

    QTest::mouseClick(form.Command2, Qt::LeftButton);
    answer("Delete Permanently");
    ASSERT_TRUE(waitUntilIdle(form));
    EXPECT_EQ(logLines(form), (std::vector<std::string>{disk.path("q1") + " has been deleted.",
                                                        disk.path("q2") + " has been deleted."}));
    EXPECT_FALSE(present(disk.path("q1")));
    EXPECT_FALSE(form.undoButton->isVisible());
}

TEST(Form1, PickingADriveMovesTheTreeToItsRootAndScansIt) {
    Form1 form;
    const int root = form.Drive1->findData(QStringLiteral("/"));
    ASSERT_GE(root, 0) << "the root file system is always offered";
    form.Drive1->setCurrentIndex(root);
    emit form.Drive1->activated(root);
    EXPECT_EQ(form.Dir1->Path(), "/");
    EXPECT_EQ(form.mainFolderPath(), "/");
    EXPECT_TRUE(form.isBusy());
    // Closing the window during the scan cancels it.
}

// The web link hands its address to xdg-open; where that fails (no browser
// set up, or no xdg-open at all), the status line says so and the address
// goes on the clipboard. A stand-in xdg-open on the PATH plays each part.
TEST(Form1, TheWebLinkOpensTheMakersPageOrSaysWhyNot) {
    testing_support::TempFolder bin("efr-bin");
    const QByteArray path = qgetenv("PATH");
    const auto standIn = [&bin](const std::string& body) {
        const std::string script = bin / "xdg-open";
        std::FILE* file = std::fopen(script.c_str(), "w");
        std::fputs(("#!/bin/sh\n" + body + "\n").c_str(), file);
        std::fclose(file);
        ::chmod(script.c_str(), 0755);
    };
    Form1 form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    const std::string page = kMakerPage;
    struct Case {
        const char* what;
        std::string script; // empty: no xdg-open at all
        std::string status;
    };
    for (const Case& c : {Case{"a browser", "echo \"$1\" > " + (bin / "opened"), ""},
                          Case{"no browser", "echo 'xdg-open: no method available for opening' \"$1\" >&2; exit 3",
                               "No web browser could be started for " + page + " (xdg-open: no method available for opening " +
                                   page + "). The address is on the clipboard, to paste into a browser."},
                          Case{"no xdg-open", "",
                               "No web browser could be started for " + page +
                                   " (xdg-open, which starts the desktop's browser, is not installed). The address is "
                                   "on the clipboard, to paste into a browser."}}) {
        SCOPED_TRACE(c.what);
        std::remove((bin / "xdg-open").c_str());
        if (!c.script.empty())
            standIn(c.script);
        qputenv("PATH", QByteArray::fromStdString(bin.path()));
        QGuiApplication::clipboard()->clear();
        form.Label1_Click();
        const std::string before = status(form);
        const bool settled = QTest::qWaitFor(
            [&] { return c.status.empty() ? present(bin / "opened") : status(form) != before; }, kTimeoutMs);
        qputenv("PATH", path);
        ASSERT_TRUE(settled) << status(form);
        if (c.status.empty()) {
            QTest::qWait(100);
            EXPECT_EQ(status(form), before) << "nothing to say";
            continue;
        }
        EXPECT_EQ(status(form), c.status);
        EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), page);
        EXPECT_TRUE(form.statusLine->textInteractionFlags() & Qt::TextSelectableByMouse);
    }
}

namespace {

// The names the folder tree shows beneath its current folder.
QStringList treeChildren(const Form1& form) {
    QStringList names;
    const QModelIndex current = form.Dir1->currentIndex();
    for (int row = 0; row < form.Dir1->model()->rowCount(current); ++row)
        names << form.Dir1->model()->index(row, 0, current).data().toString();
    return names;
}

} // namespace

// The folder the tree is on scans again when the user opens it (Enter,
// double-click) or presses F5, and after a folder could not be opened any
// folder opened next is scanned.
TEST(Form1, TheTreesFolderScansAgainWhenOpenedOrOnF5) {
    DiskBackend disk;
    disk.folder("a");
    Form1 form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.Dir1->setPath(QString::fromStdString(disk.main()));
    ASSERT_TRUE(waitUntilIdle(form));
    EXPECT_EQ(listed(form), std::vector<std::string>{disk.path("a")});

    disk.folder("b");
    form.Dir1->setFocus();
    QTest::keyClick(form.Dir1, Qt::Key_Return);
    ASSERT_TRUE(waitUntilIdle(form));
    EXPECT_EQ(listed(form), (std::vector<std::string>{disk.path("a"), disk.path("b")})) << "Enter";

    disk.folder("c");
    disk.folder("stale");
    QTest::keyClick(&form, Qt::Key_F5);
    ASSERT_TRUE(waitUntilIdle(form));
    ASSERT_TRUE(QTest::qWaitFor([&] { return treeChildren(form).contains("stale"); }, kTimeoutMs));
    ::rmdir(disk.path("stale").c_str());
    QTest::keyClick(&form, Qt::Key_F5);
    ASSERT_TRUE(waitUntilIdle(form));
    EXPECT_EQ(listed(form), (std::vector<std::string>{disk.path("a"), disk.path("b"), disk.path("c")})) << "F5";
    // The tree reads the disk anew too: it shows what the list was made of.
    EXPECT_TRUE(QTest::qWaitFor([&] { return treeChildren(form) == QStringList{"a", "b", "c"}; }, kTimeoutMs))
        << treeChildren(form).join(", ").toStdString();

    form.Dir1->setPath(QString::fromStdString(disk.path("missing")));
    EXPECT_EQ(form.folderList().ListCount(), 0);
    form.Dir1->openFolder(QString::fromStdString(disk.main()));
    ASSERT_TRUE(waitUntilIdle(form));
    EXPECT_EQ(form.folderList().ListCount(), 3) << "opened again after a folder could not be";
}


// The tree shows folders by their names alone, and drops the folders that
// a deletion removed.
TEST(Form1, TheFolderTreeShowsOneColumnAndDropsWhatWasDeleted) {
    DiskBackend disk;
    disk.folder("a/inner");
    disk.folder("b");
    disk.file("b/data", 3);
    Form1 form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.Dir1->setPath(QString::fromStdString(disk.main()));
    ASSERT_TRUE(waitUntilIdle(form));
    ASSERT_TRUE(QTest::qWaitFor([&] { return treeChildren(form) == QStringList{"a", "b"}; }, kTimeoutMs))
        << treeChildren(form).join(", ").toStdString();
    EXPECT_EQ(form.Dir1->model()->columnCount(form.Dir1->currentIndex()), 1);
    QAccessibleInterface* tree = QAccessible::queryAccessibleInterface(form.Dir1);
    ASSERT_NE(tree->tableInterface(), nullptr);
    EXPECT_EQ(tree->tableInterface()->columnCount(), 1) << "no hidden columns for a screen reader";

    QTest::mouseClick(form.Command3, Qt::LeftButton);
    QTest::mouseClick(form.Command2, Qt::LeftButton);
    ASSERT_TRUE(waitUntilIdle(form));
    EXPECT_FALSE(present(disk.path("a")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return treeChildren(form) == QStringList{"b"}; }, kTimeoutMs))
        << treeChildren(form).join(", ").toStdString();

    // "b" holds no folder: once read, it shows no arrow that would open it.
    const QModelIndex b = form.Dir1->model()->index(0, 0, form.Dir1->currentIndex());
    const auto branchIsBlank = [&] {
        const QRect row = form.Dir1->visualRect(b);
        const QImage shot = form.Dir1->viewport()->grab().toImage();
        const QRect branch(row.left() - form.Dir1->indentation(), row.top(), form.Dir1->indentation(), row.height());
        const QRgb background = shot.pixel(branch.topLeft());
        for (int y = branch.top(); y <= branch.bottom(); ++y)
            for (int x = std::max(0, branch.left()); x <= branch.right(); ++x)
                if (shot.pixel(x, y) != background)
                    return false;
        return true;
    };
    EXPECT_FALSE(branchIsBlank()) << "unread, it may hold folders";
    form.Dir1->setPath(QString::fromStdString(disk.path("b"))); // opened, so read
    ASSERT_TRUE(waitUntilIdle(form));
    EXPECT_TRUE(QTest::qWaitFor(branchIsBlank, kTimeoutMs));
}

// Each row of the folder list is checkable, says whether it is checked,
// and describes its mark in words for bridges that pass only "checked" on.
TEST(Form1, EveryRowOfTheListIsCheckableForAScreenReader) {
    DiskBackend disk;
    disk.folder("a");
    disk.folder("b");
    Form1 form;
    form.Dir1->setPath(QString::fromStdString(disk.main()));
    ASSERT_TRUE(waitUntilIdle(form));
    form.List1->model()->setData(form.List1->model()->index(1, 0), Qt::Checked, Qt::CheckStateRole);
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(form.List1);
    ASSERT_EQ(list->childCount(), 2);
    for (int row = 0; row < 2; ++row) {
        QAccessibleInterface* cell = list->child(row);
        EXPECT_TRUE(cell->state().checkable) << row;
        EXPECT_EQ(cell->state().checked, row == 1);
        EXPECT_EQ(cell->text(QAccessible::Description), row == 1 ? "marked" : "not marked");
    }
}

