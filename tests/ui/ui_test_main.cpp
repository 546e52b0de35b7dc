// SPDX-License-Identifier: GPL-3.0-or-later
// Window tests run headless unless told otherwise, and "Delete" moves
// folders to a Trash of the tests' own, never the user's.
#include <QApplication>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const QTemporaryDir dataHome(QDir::tempPath() + "/efr-data-XXXXXX");
    if (!dataHome.isValid())
        return 1;
    qputenv("XDG_DATA_HOME", dataHome.path().toLocal8Bit());
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
