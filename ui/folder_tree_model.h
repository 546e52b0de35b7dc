// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractItemModel>
#include <QIcon>

#include <memory>
#include <string>
#include <vector>

namespace cleaner {
class FileSystem;
}

// The folders beneath one root as a tree of one column, read by their
// names' bytes so that every folder shows, whatever its name holds; paths
// go in and out in the window's lossless form (disk_path.h). A folder's
// subfolders are read when the tree first needs them (from the event loop
// when a view asks, never in the middle of the view's own call), and again
// only after setRootPath(): the model never watches the disk.
class FolderTreeModel final : public QAbstractItemModel {
public:
    explicit FolderTreeModel(cleaner::FileSystem& fileSystem, QObject* parent = nullptr);
    ~FolderTreeModel() override;

    // Shows the root folder `path` with nothing read beneath it yet.
    void setRootPath(const QString& path);
    QString rootPath() const;
    // The root folder's own row, the one top-level row.
    QModelIndex rootIndex() const;
    // The row of the folder `path`, reading the folders on the way to it;
    // invalid when it is not the root or beneath it, or is not there.
    QModelIndex indexOf(const QString& path);
    QString pathOf(const QModelIndex& index) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& index) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

private:
    struct Node;
    Node* nodeOf(const QModelIndex& index) const;
    QModelIndex indexOfNode(const Node* node) const;
    std::string diskPathOf(const Node& node) const;
    void readSubFolders(Node& node, const QModelIndex& index);

    cleaner::FileSystem& m_fs;
    std::unique_ptr<Node> m_top; // above the root: its only child is the root
    QIcon m_folderIcon;
};
