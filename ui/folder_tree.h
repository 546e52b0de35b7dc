// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cleaner/posix_file_system.h"

#include <QTreeView>

#include <functional>

class FolderTreeModel;

// The folder tree: the folders of one file system, opened down to the
// current folder. The user opens a folder by double-clicking it (or with
// Enter), which makes it the current folder. Symbolic links are not shown,
// as the scan never follows them. Paths are in the window's lossless form
// (disk_path.h), so a folder whose name is not UTF-8 shows and opens too.
class FolderTree final : public QTreeView {
    Q_OBJECT
public:
    explicit FolderTree(QWidget* parent = nullptr);

    QString Path() const { return m_path; }
    // Makes `path` the current folder and shows it. Emits Change() when the
    // path differs from the current one. When no folder can be shown there,
    // the tree stays where it was and emits cannotOpen() instead.
    void setPath(const QString& path);
    // The user opened `path` (double-click, Enter, F5): it becomes the
    // current folder and Change() is emitted even when it already was, so
    // that the folder is scanned again.
    void openFolder(const QString& path);
    // Shows `path` as the current folder without a change event, for when
    // the window moves the tree itself; the next setPath() raises one
    // whatever folder it names.
    void setPathQuietly(const QString& path);
    // Reads the folders afresh, as after a deletion: the tree never watches
    // the disk by itself.
    void reload();
    // The folder a row of the tree stands for.
    QString pathOf(const QModelIndex& index) const;

signals:
    void Change();
    void cannotOpen(const QString& path, const QString& reason);

protected:
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QModelIndex indexOf(const QString& path) const;
    void showPath();
    void scrollToCurrentFolder();

    cleaner::PosixFileSystem m_fs; // read only: the tree never changes the disk
    FolderTreeModel* m_model;
    QString m_path;
    bool m_pathIsQuiet = false;
};
