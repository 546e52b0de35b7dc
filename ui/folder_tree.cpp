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
#include <QSortFilterProxyModel>
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

// The folders' names and nothing else: size, type and date columns that
// nobody sees would be read out cell by cell by a screen reader.
class NameColumnOnly final : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

protected:
    bool filterAcceptsColumn(int column, const QModelIndex&) const override { return column == 0; }
};

} // namespace

FolderTree::FolderTree(QWidget* parent)
    : QTreeView(parent), m_iconProvider(std::make_unique<FolderIconProvider>()),
      m_names(new NameColumnOnly(this)) {
    setModel(m_names);
    makeModel();
    setItemDelegate(new VisibleNameDelegate(this));
    header()->hide();
    setExpandsOnDoubleClick(false);
    connect(this, &QTreeView::activated, this,
            [this](const QModelIndex& index) { openFolder(pathOf(index)); });
    // The model reads and sorts folders on its own thread, a batch at a
    // time, so the current folder moves while the folders around it arrive:
    // it is kept in view until the user takes over the scrolling.
    const auto keepCurrentInView = [this] {
        if (m_keepCurrentInView)
            scrollToCurrentFolder();
    };
    m_keepInView = keepCurrentInView;
    connectModel();
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
    delete m_names;
    delete m_model;
}

// A model of the folders, as the tree reads them from now on.
void FolderTree::makeModel() {
    QFileSystemModel* old = m_model;
    m_model = new QFileSystemModel(this);
    m_model->setFilter(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::NoSymLinks);
    m_model->setReadOnly(true); // browsing only: nothing is ever changed through the tree
    m_model->setIconProvider(m_iconProvider.get());
    // The tree shows what it read until its folder changes. Watching would
    // make it re-read a folder after every deletion in it, thousands of
    // times in a long run, on both the model's thread and this one.
    m_model->setOption(QFileSystemModel::DontWatchForChanges);
    m_names->setSourceModel(m_model);
    delete old;
}

void FolderTree::connectModel() {
    connect(m_model, &QFileSystemModel::directoryLoaded, this, m_keepInView);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, m_keepInView);
    connect(m_model, &QAbstractItemModel::layoutChanged, this, m_keepInView);
}

void FolderTree::reload() {
    makeModel();
    connectModel();
    showPath();
}

QModelIndex FolderTree::indexOf(const QString& path) const {
    return m_names->mapFromSource(m_model->index(path));
}

QString FolderTree::pathOf(const QModelIndex& index) const {
    return m_model->filePath(m_names->mapToSource(index));
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
    const QString root = QStorageInfo(m_path).rootPath();
    const QString shownRoot = root.isEmpty() ? QStringLiteral("/") : root;
    m_model->setRootPath(shownRoot);
    setRootIndex(indexOf(shownRoot));

    const QModelIndex current = indexOf(m_path);
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
