// SPDX-License-Identifier: GPL-3.0-or-later
#include "list_models.h"

#include "cleaner/deletion_log.h"
#include "cleaner/folder_list.h"
#include "cleaner/visible_name.h"
#include "path_list_view.h"

#include <QApplication>
#include <QStyle>

#include <algorithm>


QString displayPath(const std::string& path) {
    return QString::fromStdString(cleaner::visibleName(path));
}

void ListObserverModel::beginInsertRows(int first, int last) {
    QAbstractListModel::beginInsertRows({}, first, last);
}

void ListObserverModel::endInsertRows() {
    QAbstractListModel::endInsertRows();
}

void ListObserverModel::beginRemoveRows(int first, int last) {
    QAbstractListModel::beginRemoveRows({}, first, last);
}

void ListObserverModel::endRemoveRows() {
    QAbstractListModel::endRemoveRows();
}

void ListObserverModel::beginReset() {
    beginResetModel();
}

void ListObserverModel::endReset() {
    endResetModel();
}

void ListObserverModel::marksChanged(int first, int last) {
    emit dataChanged(index(first), index(last), {Qt::CheckStateRole, Qt::AccessibleDescriptionRole});
}

FolderListModel::FolderListModel(cleaner::FolderList& list, QObject* parent)
    : ListObserverModel(parent), m_list(list) {
    m_list.setObserver(this);
}

FolderListModel::~FolderListModel() {
    m_list.setObserver(nullptr);
}

int FolderListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_list.ListCount();
}

QVariant FolderListModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return displayPath(m_list.List(index.row()));
    case Qt::CheckStateRole:
        return m_list.Selected(index.row()) || m_list.GoesWithMarked(index.row()) ? Qt::Checked : Qt::Unchecked;
    case kGoesWithRole:
        return m_list.GoesWithMarked(index.row());
    case Qt::AccessibleDescriptionRole:
        // Qt's item views tell a screen reader only of a row that is checked;
        // this says of every row whether it goes, and why.
        if (m_list.GoesWithMarked(index.row()))
            return QStringLiteral("goes with the marked folder above it");
        return m_list.Selected(index.row()) ? QStringLiteral("marked") : QStringLiteral("not marked");
    default:
        return {};
    }
}

bool FolderListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole || !checkIndex(index, CheckIndexOption::IndexIsValid) ||
        m_list.GoesWithMarked(index.row()))
        return false;
    // The list tells us about the change, which emits dataChanged.
    m_list.Selected(index.row(), value.value<Qt::CheckState>() == Qt::Checked);
    return true;
}

// A mark changes what goes with it: the rows beneath it change too.
void FolderListModel::marksChanged(int first, int last) {
    ListObserverModel::marksChanged(first, std::max(last, m_list.EndBeneath(last) - 1));
}

Qt::ItemFlags FolderListModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemNeverHasChildren;
}

DeletionLogModel::DeletionLogModel(cleaner::DeletionLog& log, QObject* parent)
    : ListObserverModel(parent), m_log(log),
      m_deletedIcon(QApplication::style()->standardIcon(QStyle::SP_DialogApplyButton)),
      m_notDeletedIcon(QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning)) {
    m_log.setObserver(this);
}

DeletionLogModel::~DeletionLogModel() {
    m_log.setObserver(nullptr);
}

int DeletionLogModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_log.ListCount();
}

QVariant DeletionLogModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    const std::string_view line = m_log.text(index.row());
    const std::size_t pathLength = m_log.pathLength(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return displayPath(std::string(line.substr(0, pathLength))) +
               displayPath(std::string(line.substr(pathLength)));
    case Qt::DecorationRole:
        // A folder that stayed is told apart at a glance; the line's own
        // words say the same to a screen reader.
        return m_log.Deleted(index.row()) ? m_deletedIcon : m_notDeletedIcon;
    default:
        return {};
    }
}
