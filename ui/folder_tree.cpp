// SPDX-License-Identifier: GPL-3.0-or-later
#include "folder_tree.h"

#include "cleaner/visible_name.h"
#include "disk_path.h"
#include "focus_mark.h"
#include "folder_tree_model.h"

#include <QDir>
#include <QHeaderView>
#include <QStorageInfo>
#include <QStyledItemDelegate>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <dirent.h>
#include <sys/stat.h>

namespace {

// Why a folder can't be shown, in the system's words; empty when it can.
QString whyNotOpenable(const QString& path) {
    const std::string bytes = pathToDisk(path);
    struct stat status {};
    if (::stat(bytes.c_str(), &status) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    if (!S_ISDIR(status.st_mode))
        return QString::fromLocal8Bit(std::strerror(ENOTDIR));
    DIR* dir = ::opendir(bytes.c_str());
    if (!dir)
        return QString::fromLocal8Bit(std::strerror(errno));
    ::closedir(dir);
    return {};
}

// The root of the file system holding `path`. Mount points have names in
// UTF-8 in practice, so the nearest folder on the way whose name Qt can
// carry is asked.
QString fileSystemRootOf(const QString& path) {
    QString carried = path;
    while (QString::fromUtf8(carried.toUtf8()) != carried && carried.contains('/'))
        carried.truncate(std::max<qsizetype>(carried.lastIndexOf('/'), 1));
    const QString root = QStorageInfo(carried).rootPath();
    return root.isEmpty() ? QStringLiteral("/") : root;
}

// Folder names as the lists show them, so that a name holding a newline or
// a right-to-left override can't pass for another in the tree either.
class VisibleNameDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QString displayText(const QVariant& value, const QLocale&) const override {
        return QString::fromStdString(cleaner::visibleName(pathToDisk(value.toString())));
    }
};

} // namespace

FolderTree::FolderTree(QWidget* parent) : QTreeView(parent), m_model(new FolderTreeModel(m_fs, this)) {
    setModel(m_model);
    setItemDelegate(new VisibleNameDelegate(this));
    header()->hide();
    setExpandsOnDoubleClick(false);
    connect(this, &QTreeView::activated, this,
            [this](const QModelIndex& index) { openFolder(pathOf(index)); });
}

void FolderTree::reload() {
    m_model->setRootPath(m_model->rootPath());
    showPath();
}

QModelIndex FolderTree::indexOf(const QString& path) const {
    return m_model->indexOf(path);
}

QString FolderTree::pathOf(const QModelIndex& index) const {
    return m_model->pathOf(index);
}

void FolderTree::setPath(const QString& path) {
    const QString reason = whyNotOpenable(path);
    if (!reason.isEmpty()) {
        emit cannotOpen(path, reason);
        return;
    }
    const QString cleaned = QDir::cleanPath(path);
    const bool changed = cleaned != m_path || m_pathIsQuiet;
    m_path = cleaned;
    m_pathIsQuiet = false;
    showPath();
    if (changed)
        emit Change();
}

void FolderTree::openFolder(const QString& path) {
    m_pathIsQuiet = true; // whatever folder it names, it is opened anew
    // and read anew, as the scan that follows reads the disk as it is now
    m_model->setRootPath(m_model->rootPath());
    setPath(path);
}

void FolderTree::setPathQuietly(const QString& path) {
    m_path = QDir::cleanPath(path);
    m_pathIsQuiet = true;
    showPath();
}

void FolderTree::scrollToCurrentFolder() {
    const QModelIndex current = indexOf(m_path);
    if (current.isValid() && current != rootIndex())
        scrollTo(current, QAbstractItemView::PositionAtCenter);
}

void FolderTree::paintEvent(QPaintEvent* event) {
    QTreeView::paintEvent(event);
    paintFocusMark(this);
}

void FolderTree::focusInEvent(QFocusEvent* event) {
    QTreeView::focusInEvent(event);
    viewport()->update();
}

void FolderTree::focusOutEvent(QFocusEvent* event) {
    QTreeView::focusOutEvent(event);
    viewport()->update();
}

// Roots the tree at the file system holding the path and opens it down to
// the current folder, which shows its own folders.
void FolderTree::showPath() {
    const QString root = fileSystemRootOf(m_path);
    if (root != m_model->rootPath())
        m_model->setRootPath(root);
    setRootIndex(m_model->rootIndex());

    const QModelIndex current = indexOf(m_path);
    for (QModelIndex at = current.parent(); at.isValid() && at != rootIndex(); at = at.parent())
        expand(at);
    if (current.isValid() && current != rootIndex()) {
        expand(current);
        setCurrentIndex(current);
        scrollToCurrentFolder();
    } else {
        clearSelection();
    }
}
