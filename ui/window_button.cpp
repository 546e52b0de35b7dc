// SPDX-License-Identifier: GPL-3.0-or-later
#include "window_button.h"

#include <QPainter>

WindowButton::WindowButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
    setAutoDefault(true); // Enter presses it while it has the focus
}

void WindowButton::paintEvent(QPaintEvent* event) {
    QPushButton::paintEvent(event);
    if (!hasFocus() || !window()->testAttribute(Qt::WA_KeyboardFocusChange))
        return;
    const QWidget* around = parentWidget() ? parentWidget() : this;
    QPainter painter(this);
    painter.setPen(QPen(around->palette().color(QPalette::WindowText), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect().adjusted(1, 1, -1, -1));
}
