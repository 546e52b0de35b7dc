// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QListView>
#include <QStyledItemDelegate>

// The window's two lists: one line per entry, cut off at the right edge as
// the layout wants, with the whole text as the tooltip of an entry that is
// cut (other places keep the list's own tooltip), and a focus mark while
// the list has the keyboard focus.
class PathListView final : public QListView {
    Q_OBJECT
public:
    explicit PathListView(QWidget* parent = nullptr);

    // What the tooltip says at `position`, in the viewport's coordinates.
    QString toolTipAt(const QPoint& position) const;
    // Keeps the newest line in view while lines arrive, unless the user has
    // scrolled up to read.
    void followNewest();

protected:
    bool viewportEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    bool m_atNewest = true;
};

// Lets a click anywhere on a checkable entry, its text included, toggle the
// entry's mark, as a click on its check box does.
class MarkOnClickDelegate final : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;
};
