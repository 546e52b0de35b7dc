// SPDX-License-Identifier: GPL-3.0-or-later
#include "form1.h"

#include <QApplication>
#include <QStyleFactory>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Empty Folder Remover");
    QApplication::setApplicationVersion(EFR_VERSION);
    QApplication::setDesktopFileName(EFR_APP_ID);
    // The window's colours are its own; Fusion draws them on every desktop.
    QApplication::setStyle(QStyleFactory::create("Fusion"));

    Form1 form1;
    form1.show();
    return QApplication::exec();
}
