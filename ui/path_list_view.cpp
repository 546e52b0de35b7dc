// SPDX-License-Identifier: GPL-3.0-or-later
#include "path_list_view.h"

#include "focus_mark.h"
#include "text_wrapper.h"

#include <QApplication>
#include <QMouseEvent>
#include <QScrollBar>
#include <QPainter>

PathListView::PathListView(QWidget* parent) : QListView(parent) {}

void PathListView::followNewest() {
    QScrollBar* bar = verticalScrollBar();
    connect(bar, &QScrollBar::valueChanged, this,
            [this, bar](int value) { m_atNewest = value == bar->maximum(); });
    connect(bar, &QScrollBar::rangeChanged, this, [this, bar](int, int maximum) {
        if (m_atNewest)
            bar->setValue(maximum);
    });
}

void PathListView::paintEvent(QPaintEvent* event) {
    QListView::paintEvent(event);
    paintFocusMark(this);
}

void PathListView::focusInEvent(QFocusEvent* event) {
    QListView::focusInEvent(event);
    viewport()->update();
}

void PathListView::focusOutEvent(QFocusEvent* event) {
    QListView::focusOutEvent(event);
    viewport()->update();
}

struct WrappedTextDelegate::Geometry {
    int rowWidth = 0;
    QFont font;
    QRect textRect;       // in a row at (0, 0) one line high
    int lineSpacing = 0;
    int oneLineHeight = 0;
    TextWrapper wrapper;
};

WrappedTextDelegate::WrappedTextDelegate(QObject* parent) : QStyledItemDelegate(parent) {}

WrappedTextDelegate::~WrappedTextDelegate() = default;

const WrappedTextDelegate::Geometry& WrappedTextDelegate::geometry(const QStyleOptionViewItem& option,
                                                                   const QModelIndex& index) const {
    const auto* view = qobject_cast<const QAbstractScrollArea*>(option.widget);
    QStyle* style = option.widget ? option.widget->style() : QApplication::style();
    const int rowWidth =
        view ? view->width() - 2 * view->frameWidth() - style->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, view)
             : option.rect.width();
    if (m_geometry && m_geometry->rowWidth == rowWidth && m_geometry->font == option.font)
        return *m_geometry;
    QStyleOptionViewItem item(option);
    initStyleOption(&item, index);
    item.text = QStringLiteral("X");
    const int oneLineHeight = QStyledItemDelegate::sizeHint(item, index).height();
    item.rect = QRect(0, 0, rowWidth, oneLineHeight);
    // The style leaves a margin of this much on each side of the text.
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, option.widget) + 1;
    const QRect textRect =
        style->subElementRect(QStyle::SE_ItemViewItemText, &item, option.widget).adjusted(margin, 0, -margin, 0);
    m_geometry.reset(new Geometry{rowWidth, option.font, textRect, QFontMetrics(option.font).lineSpacing(),
                                  oneLineHeight, TextWrapper(option.font)});
    return *m_geometry;
}

QStringList WrappedTextDelegate::linesOf(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const Geometry& shape = geometry(option, index);
    const QString text = index.data(Qt::DisplayRole).toString();
    const QList<qsizetype> starts = shape.wrapper.lineStarts(text, shape.textRect.width());
    QStringList lines;
    for (qsizetype i = 0; i < starts.size(); ++i)
        lines << text.mid(starts[i], (i + 1 < starts.size() ? starts[i + 1] : text.size()) - starts[i]);
    return lines;
}

QSize WrappedTextDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const Geometry& shape = geometry(option, index);
    const qsizetype lines = shape.wrapper.lineCount(index.data(Qt::DisplayRole).toString(), shape.textRect.width());
    return {shape.rowWidth, shape.oneLineHeight + static_cast<int>(lines - 1) * shape.lineSpacing};
}

void WrappedTextDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
    const Geometry& shape = geometry(option, index);
    const QStringList lines = linesOf(option, index);
    QStyleOptionViewItem item(option);
    initStyleOption(&item, index);
    item.text.clear(); // the style draws the row, its check box and icon; the text comes below
    const bool dimmed = index.data(kGoesWithRole).toBool();
    if (dimmed)
        item.state &= ~QStyle::State_Enabled;
    // Without a text the style would draw the focus frame as a line through
    // the middle of the row: it goes around the lines, below.
    item.state &= ~QStyle::State_HasFocus;
    QStyle* style = option.widget ? option.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &item, painter, option.widget);

    const QPalette::ColorGroup group = dimmed || !(option.state & QStyle::State_Enabled) ? QPalette::Disabled
                                       : (option.state & QStyle::State_Active) ? QPalette::Active
                                                                               : QPalette::Inactive;
    const QPalette::ColorRole role = option.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text;
    painter->save();
    if (item.features & QStyleOptionViewItem::HasCheckIndicator) {
        // The style's own border of an empty box is too faint on a light
        // row (2:1); the row's text colour outlines it instead.
        painter->setPen(option.palette.color(group, QPalette::Text));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(style->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &item, option.widget)
                              .adjusted(1, 1, -2, -2));
    }
    painter->setFont(option.font);
    painter->setPen(option.palette.color(group, role));
    const int blockHeight = static_cast<int>(lines.size()) * shape.lineSpacing;
    const int top = option.rect.top() + (option.rect.height() - blockHeight) / 2;
    const int left = option.rect.left() + shape.textRect.left();
    for (qsizetype i = 0; i < lines.size(); ++i)
        painter->drawText(QRect(left, top + static_cast<int>(i) * shape.lineSpacing,
                                shape.textRect.width() + static_cast<int>(TextWrapper::slack), shape.lineSpacing),
                          Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, lines[i]);
    painter->restore();
    if (option.state & QStyle::State_HasFocus) {
        QStyleOptionFocusRect focus;
        focus.QStyleOption::operator=(option);
        focus.rect = QRect(left - 1, top, shape.textRect.width() + 2, blockHeight);
        focus.backgroundColor = option.palette.color(group, option.state & QStyle::State_Selected
                                                                ? QPalette::Highlight
                                                                : QPalette::Base);
        style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, option.widget);
    }
}

bool MarkOnClickDelegate::editorEvent(QEvent* event, QAbstractItemModel* model,
                                      const QStyleOptionViewItem& option, const QModelIndex& index) {
    if (event->type() == QEvent::MouseButtonRelease && (index.flags() & Qt::ItemIsUserCheckable) &&
        (index.flags() & Qt::ItemIsEnabled)) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton && option.rect.contains(mouse->position().toPoint())) {
            const bool marked = index.data(Qt::CheckStateRole).value<Qt::CheckState>() == Qt::Checked;
            return model->setData(index, marked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
        }
    }
    return WrappedTextDelegate::editorEvent(event, model, option, index);
}
