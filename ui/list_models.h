// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cleaner/list_observer.h"

#include <QAbstractListModel>
#include <QIcon>

namespace cleaner {
class DeletionLog;
class FolderList;
} // namespace cleaner

// Qt views over the two lists of the cleaning logic. The lists stay the one
// place that holds the data; the models only pass their changes on to the
// views, so code that changes a list directly keeps the window in step.

// Forwards a list's change notifications as the model's own.
class ListObserverModel : public QAbstractListModel, protected cleaner::ListObserver {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

protected:
    void beginInsertRows(int first, int last) override;
    void endInsertRows() override;
    void beginRemoveRows(int first, int last) override;
    void endRemoveRows() override;
    void beginReset() override;
    void endReset() override;
    void marksChanged(int first, int last) override;
};

// The folder list: one row per folder, with its mark as a check box. A row
// beneath a marked one shows ticked too, dimmed (kGoesWithRole): its folder
// goes with that one, and its own mark can't change that.
class FolderListModel final : public ListObserverModel {
    Q_OBJECT
public:
    explicit FolderListModel(cleaner::FolderList& list, QObject* parent = nullptr);
    ~FolderListModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

protected:
    void marksChanged(int first, int last) override;

private:
    cleaner::FolderList& m_list;
};

// The deletion log: one line per row, marked by an icon that tells a
// folder deleted from one that stayed.
class DeletionLogModel final : public ListObserverModel {
    Q_OBJECT
public:
    explicit DeletionLogModel(cleaner::DeletionLog& log, QObject* parent = nullptr);
    ~DeletionLogModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    cleaner::DeletionLog& m_log;
    QIcon m_deletedIcon;
    QIcon m_notDeletedIcon;
};

// Paths are bytes on disk; this is how the window shows them, so that no
// two look alike (see cleaner/visible_name.h).
QString displayPath(const std::string& path);
