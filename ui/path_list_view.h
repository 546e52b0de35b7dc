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

// The model's role that says how much of an entry's text is a path (the
// rest is what became of it); without it, all of the text is.
inline constexpr int kPathLengthRole = Qt::UserRole + 1;

// Draws an entry too long for its row with the middle of its path left
// out, keeping the path's last name and whatever follows the path whole:
// "/tmp/alice/…/node_modules/x has been deleted."
class ElidedPathDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

// The text `text` as it fits in `width`, its path (the first `pathLength`
// characters) shortened in the middle.
QString elidedPath(const QString& text, qsizetype pathLength, const QFontMetrics& metrics, int width);

// Lets a click anywhere on a checkable entry, its text included, toggle the
// entry's mark, as a click on its check box does.
class MarkOnClickDelegate final : public ElidedPathDelegate {
    Q_OBJECT
public:
    using ElidedPathDelegate::ElidedPathDelegate;

protected:
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;
};
