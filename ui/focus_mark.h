// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QAbstractScrollArea;

// Draws the style's focus rectangle just inside a list's or tree's visible
// area while it has the keyboard focus, so that tabbing to it shows where
// the focus went even when it holds no entry or no entry is current. Call it
// at the end of the view's paintEvent().
void paintFocusMark(QAbstractScrollArea* view);
