// SPDX-License-Identifier: GPL-3.0-or-later
// The folder tree's model under a view that lays itself out while the model
// reads: reads, deletions and rescans, checked as Qt's model tester checks
// any model.
#include "folder_tree_model.h"
#include "support/memory_file_system.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

using testing_support::MemoryFileSystem;

namespace {

constexpr int kTimeoutMs = 5000;

// What the model tester finds wrong, gathered from its warnings.
class TesterComplaints {
public:
    TesterComplaints() {
        std::lock_guard lock(s_mutex);
        s_complaints = &m_complaints;
        m_previous = qInstallMessageHandler(&TesterComplaints::gather);
    }
    ~TesterComplaints() {
        std::lock_guard lock(s_mutex);
        qInstallMessageHandler(m_previous);
        s_complaints = nullptr;
    }
    QStringList taken() const {
        std::lock_guard lock(s_mutex);
        return m_complaints;
    }

private:
    static void gather(QtMsgType type, const QMessageLogContext& context, const QString& text) {
        std::lock_guard lock(s_mutex);
        if (s_complaints && type != QtDebugMsg && context.category &&
            QByteArray(context.category).contains("modeltest"))
            s_complaints->append(text);
    }

    static inline std::mutex s_mutex;
    static inline QStringList* s_complaints = nullptr;
    QStringList m_complaints;
    QtMessageHandler m_previous = nullptr;
};

void removeFolder(MemoryFileSystem& fs, const std::string& parent, const std::string& name) {
    std::uint64_t device = 0;
    std::error_code ec;
    const cleaner::FolderHandle handle = fs.openFolder(parent, device, ec);
    ASSERT_FALSE(ec) << parent;
    fs.removeEntry(handle, name, true, ec);
    fs.closeFolder(handle);
    ASSERT_FALSE(ec) << parent << "/" << name;
}

QStringList childNames(const FolderTreeModel& model, const QModelIndex& parent) {
    QStringList names;
    for (int row = 0; row < model.rowCount(parent); ++row)
        names << model.index(row, 0, parent).data().toString();
    return names;
}

} // namespace

// A view asking for more gets it later, from the event loop: nothing the
// model signals can reach a view in the middle of its own layout. A reset
// before then drops the request unread.
TEST(FolderTreeModel, ReadsWhatAViewAsksForOnlyOnceTheViewIsDone) {
    MemoryFileSystem fs;
    fs.addFolder("/M/full/inner");
    fs.addFolder("/M/bare");
    FolderTreeModel model(fs);
    model.setRootPath("/M");
    const QModelIndex full = model.indexOf("/M/full");
    const QModelIndex bare = model.indexOf("/M/bare");
    ASSERT_TRUE(full.isValid() && bare.isValid());
    ASSERT_TRUE(model.canFetchMore(full) && model.hasChildren(bare));

    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    model.fetchMore(full);
    model.fetchMore(bare);
    model.fetchMore(full);
    EXPECT_EQ(inserted.count(), 0) << "nothing changes while the view asks";
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(fs.listingCount("/M/full"), 0u);

    ASSERT_TRUE(QTest::qWaitFor([&] { return inserted.count() == 1 && changed.count() == 1; }, kTimeoutMs));
    EXPECT_EQ(childNames(model, full), QStringList{"inner"});
    EXPECT_FALSE(model.hasChildren(bare)) << "read and empty: no longer one that opens";
    EXPECT_EQ(fs.listingCount("/M/full"), 1u) << "asked for twice, read once";

    const QModelIndex inner = model.indexOf("/M/full/inner");
    model.fetchMore(inner);
    model.setRootPath("/M");
    QTest::qWait(50);
    EXPECT_EQ(fs.listingCount("/M/full/inner"), 0u) << "a request from before a reset is dropped";
}

// The model as a tree view sees it while folders are read, deleted and the
// tree rescanned, with Qt's model tester watching every signal.
TEST(FolderTreeModel, PassesTheModelTesterThroughReadsDeletionsAndRescans) {
    MemoryFileSystem fs;
    const std::string oddName = "bad\xff"
                                "byte";
    for (const std::string& path : std::vector<std::string>{"/M/a/inner/deep", "/M/b", "/M/c/d", "/M/c/e", "/M/" + oddName + "/x"})
        fs.addFolder(path);
    TesterComplaints complaints;
    FolderTreeModel model(fs);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning);
    QTreeView view;
    view.setModel(&model);
    view.resize(300, 400);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));

    const auto openEverything = [&] {
        for (int round = 0; round < 5; ++round) {
            view.expandAll();
            QTest::qWait(20);
        }
    };
    model.setRootPath("/M");
    view.setRootIndex(model.rootIndex());
    openEverything();
    EXPECT_EQ(childNames(model, model.indexOf("/M/c")), (QStringList{"d", "e"}));

    // A deletion, then the tree read afresh while the view lays out a tree
    // opened deep down to folders that are gone.
    removeFolder(fs, "/M/a/inner", "deep");
    removeFolder(fs, "/M/a", "inner");
    removeFolder(fs, "/M/c", "d");
    view.setCurrentIndex(model.indexOf("/M/c/e"));
    model.setRootPath("/M");
    view.setRootIndex(model.rootIndex());
    view.setCurrentIndex(model.indexOf("/M/c/e"));
    view.expand(model.indexOf("/M/a"));
    openEverything();
    EXPECT_EQ(childNames(model, model.indexOf("/M/c")), QStringList{"e"});
    EXPECT_FALSE(model.hasChildren(model.indexOf("/M/a")));
    EXPECT_EQ(model.indexOf("/M/a/inner"), QModelIndex());

    EXPECT_EQ(complaints.taken(), QStringList{});
}
