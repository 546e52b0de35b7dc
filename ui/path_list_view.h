// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QListView>
#include <QStyledItemDelegate>

#include <memory>

// The window's two lists: each entry whole, on as many lines as it needs
// (see WrappedTextDelegate), and a focus mark while the list has the
// keyboard focus.
class PathListView final : public QListView {
    Q_OBJECT
public:
    explicit PathListView(QWidget* parent = nullptr);

    // Keeps the newest line in view while lines arrive, unless the user has
    // scrolled up to read.
    void followNewest();

protected:
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    bool m_atNewest = true;
};

// The model's role that says an entry is drawn dimmed: it goes with a
// marked entry above it.
inline constexpr int kGoesWithRole = Qt::UserRole + 2;

// Draws each entry whole, wrapped onto as many lines as it needs (see
// TextWrapper), so that no two entries of different texts look alike and
// every text can be read without a mouse. The rows' width is the view's
// less a scroll bar's, whether one shows or not, so that a scroll bar
// coming or going never changes the rows.
class WrappedTextDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit WrappedTextDelegate(QObject* parent = nullptr);
    ~WrappedTextDelegate() override;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    // The lines the entry at `index` is drawn on, for `option`'s widget.
    QStringList linesOf(const QStyleOptionViewItem& option, const QModelIndex& index) const;

private:
    // What every row of the list shares, measured once for a width and font.
    struct Geometry;
    const Geometry& geometry(const QStyleOptionViewItem& option, const QModelIndex& index) const;

    mutable std::unique_ptr<Geometry> m_geometry;
};

// Lets a click anywhere on a checkable entry, its text included, toggle the
// entry's mark, as a click on its check box does.
class MarkOnClickDelegate final : public WrappedTextDelegate {
    Q_OBJECT
public:
    using WrappedTextDelegate::WrappedTextDelegate;

protected:
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;
};
