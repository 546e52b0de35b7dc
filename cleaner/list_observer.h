// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace cleaner {

// Told about every change to a FolderList or DeletionLog, before and after
// it happens, so a view model can keep its rows in step (the begin/end pairs
// match what Qt's item models need). Rows are inclusive ranges.
class ListObserver {
public:
    virtual ~ListObserver() = default;
    virtual void beginInsertRows(int first, int last) = 0;
    virtual void endInsertRows() = 0;
    virtual void beginRemoveRows(int first, int last) = 0;
    virtual void endRemoveRows() = 0;
    virtual void beginReset() = 0;
    virtual void endReset() = 0;
    // Marks of rows first..last changed (FolderList only).
    virtual void marksChanged(int first, int last) = 0;
};

} // namespace cleaner
