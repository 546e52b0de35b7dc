// SPDX-License-Identifier: GPL-3.0-or-later
#include "focus_mark.h"

#include <QAbstractScrollArea>
#include <QPainter>

// An outline in the highlight colour, shown once the keyboard has moved the
// focus (as the style shows the focus of buttons), so that a click with the
// mouse changes nothing in the look.
void paintFocusMark(QAbstractScrollArea* view) {
    if (!view->hasFocus() || !view->window()->testAttribute(Qt::WA_KeyboardFocusChange))
        return;
    QPainter painter(view->viewport());
    painter.setPen(QPen(view->palette().color(QPalette::Highlight), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(view->viewport()->rect().adjusted(1, 1, -1, -1));
}
