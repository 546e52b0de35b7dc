// SPDX-License-Identifier: GPL-3.0-or-later
#include "folder_tree.h"

#include "focus_mark.h"

#include "cleaner/visible_name.h"

#include <QAbstractFileIconProvider>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QIcon>
#include <QScrollBar>
#include <QStorageInfo>
#include <QStyledItemDelegate>

#include <cerrno>
#include <cstring>

#include <dirent.h>

namespace {

// Why a folder can't be shown, in the system's words; empty when it can.
QString whyNotOpenable(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists())
        return QString::fromLocal8Bit(std::strerror(ENOENT));
    if (!info.isDir())
        return QString::fromLocal8Bit(std::strerror(ENOTDIR));
    DIR* dir = ::opendir(QFile::encodeName(path).constData());
    if (!dir)
        return QString::fromLocal8Bit(std::strerror(errno));
    ::closedir(dir);
    return {};
}

// Every entry of the tree is a folder, so every one gets the theme's folder
// icon. The usual provider asks the MIME database about each entry, on the
// window thread, which for a folder of a hundred thousand subfolders stops
// the window for seconds.
class FolderIconProvider final : public QAbstractFileIconProvider {
public:
    QIcon icon(IconType) const override { return m_folder; }
    QIcon icon(const QFileInfo&) const override { return m_folder; }
    QString type(const QFileInfo&) const override { return m_type; }

private:
    QIcon m_folder = QIcon::fromTheme(QStringLiteral("folder"));
    QString m_type = QStringLiteral("Folder");
};

// Folder names as the lists show them, so that a name holding a newline or
// a right-to-left override can't pass for another in the tree either.
class VisibleNameDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QString displayText(const QVariant& value, const QLocale&) const override {
        return QString::fromStdString(cleaner::visibleName(value.toString().toStdString()));
    }
};

} // namespace

FolderTree::FolderTree(QWidget* parent) : QTreeView(parent), m_model(new QFileSystemModel(this)) {
    m_model->setFilter(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::NoSymLinks);
    m_model->setReadOnly(true); // browsing only: nothing is ever changed through the tree
    m_iconProvider = std::make_unique<FolderIconProvider>();
    m_model->setIconProvider(m_iconProvider.get());
    // The tree shows what it read until its folder changes. Watching would
    // make it re-read a folder after every deletion in it, thousands of
    // times in a long run, on both the model's thread and this one.
    m_model->setOption(QFileSystemModel::DontWatchForChanges);
    setModel(m_model);
    setItemDelegate(new VisibleNameDelegate(this));
    for (int column = 1; column < m_model->columnCount(); ++column)
        hideColumn(column);
    header()->hide();
    setExpandsOnDoubleClick(false);
    connect(this, &QTreeView::activated, this,
            [this](const QModelIndex& index) { openFolder(m_model->filePath(index)); });
    // The model reads and sorts folders on its own thread, a batch at a
    // time, so the current folder moves while the folders around it arrive:
    // it is kept in view until the user takes over the scrolling.
    const auto keepCurrentInView = [this] {
        if (m_keepCurrentInView)
            scrollToCurrentFolder();
    };
    connect(m_model, &QFileSystemModel::directoryLoaded, this, keepCurrentInView);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, keepCurrentInView);
    connect(m_model, &QAbstractItemModel::layoutChanged, this, keepCurrentInView);
    viewport()->installEventFilter(this);
    verticalScrollBar()->installEventFilter(this);
}

bool FolderTree::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::Wheel:
        m_keepCurrentInView = false;
        break;
    default:
        break;
    }
    return QTreeView::eventFilter(watched, event);
}

void FolderTree::keyPressEvent(QKeyEvent* event) {
    m_keepCurrentInView = false;
    QTreeView::keyPressEvent(event);
}

FolderTree::~FolderTree() {
    setModel(nullptr);
    delete m_model;
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
    setPath(path);
}

void FolderTree::setPathQuietly(const QString& path) {
    m_path = QDir::cleanPath(path);
    m_pathIsQuiet = true;
    showPath();
}

void FolderTree::scrollToCurrentFolder() {
    const QModelIndex current = m_model->index(m_path);
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
    const QString root = QStorageInfo(m_path).rootPath();
    const QString shownRoot = root.isEmpty() ? QStringLiteral("/") : root;
    m_model->setRootPath(shownRoot);
    setRootIndex(m_model->index(shownRoot));

    const QModelIndex current = m_model->index(m_path);
    for (QModelIndex at = current.parent(); at.isValid() && at != rootIndex(); at = at.parent())
        expand(at);
    if (current != rootIndex()) {
        expand(current);
        setCurrentIndex(current);
        m_keepCurrentInView = true;
        scrollToCurrentFolder();
    } else {
        clearSelection();
    }
}
