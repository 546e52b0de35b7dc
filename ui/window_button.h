// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPushButton>

// The window's push buttons: Enter presses the focused one, as Space does
// (outside a dialog Qt's buttons take only Space), and the keyboard focus
// shows as an outline in the colour of the text around the button, which
// stands out from both the button and what surrounds it.
class WindowButton final : public QPushButton {
    Q_OBJECT
public:
    WindowButton(const QString& text, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
};
