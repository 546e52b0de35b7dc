// SPDX-License-Identifier: GPL-3.0-or-later
#include "path_list_view.h"

#include "focus_mark.h"

#include <QApplication>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QToolTip>

PathListView::PathListView(QWidget* parent) : QListView(parent) {}

QString PathListView::toolTipAt(const QPoint& position) const {
    const QModelIndex index = indexAt(position);
    if (!index.isValid())
        return toolTip();
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = visualRect(index);
    const int needed = itemDelegateForIndex(index)->sizeHint(option, index).width();
    const int shown = viewport()->width() - option.rect.left();
    return needed > shown ? index.data(Qt::DisplayRole).toString() : toolTip();
}

void PathListView::followNewest() {
    QScrollBar* bar = verticalScrollBar();
    connect(bar, &QScrollBar::valueChanged, this,
            [this, bar](int value) { m_atNewest = value == bar->maximum(); });
    connect(bar, &QScrollBar::rangeChanged, this, [this, bar](int, int maximum) {
        if (m_atNewest)
            bar->setValue(maximum);
    });
}

bool PathListView::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const QString text = toolTipAt(help->pos());
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, viewport(), visualRect(indexAt(help->pos())));
        return true;
    }
    return QListView::viewportEvent(event);
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

QString elidedPath(const QString& text, qsizetype pathLength, const QFontMetrics& metrics, int width) {
    if (metrics.horizontalAdvance(text) <= width)
        return text;
    const QString path = text.left(pathLength);
    const QString rest = text.mid(pathLength);
    const qsizetype lastSlash = path.lastIndexOf('/');
    const QString tail = lastSlash > 0 ? path.mid(lastSlash) : QString(); // "/name"
    const QString head = path.left(path.size() - tail.size());
    const int least = 3 * metrics.horizontalAdvance(QChar(0x2026));
    if (const int room = width - metrics.horizontalAdvance(tail + rest); room >= least)
        return metrics.elidedText(head, Qt::ElideMiddle, room) + tail + rest;
    // The last name does not fit whole beside the outcome: the path gives
    // way, and the outcome still shows in full as long as it can.
    if (const int room = width - metrics.horizontalAdvance(rest); room >= least)
        return metrics.elidedText(path, Qt::ElideMiddle, room) + rest;
    return metrics.elidedText(text, Qt::ElideMiddle, width);
}

void ElidedPathDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
    QStyleOptionViewItem item(option);
    initStyleOption(&item, index);
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    // The style leaves a margin of this much on each side of the text.
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    const int width = style->subElementRect(QStyle::SE_ItemViewItemText, &item, widget).width() - 2 * margin;
    const QVariant pathLength = index.data(kPathLengthRole);
    item.text = elidedPath(item.text, pathLength.isValid() ? pathLength.toLongLong() : item.text.size(),
                           item.fontMetrics, width);
    style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);
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
    return ElidedPathDelegate::editorEvent(event, model, option, index);
}
