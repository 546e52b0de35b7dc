// SPDX-License-Identifier: GPL-3.0-or-later
// Window tests run headless unless told otherwise, on a screen the window
// fits on (a test of a small screen says so itself), and "Delete" moves
// folders to a Trash of the tests' own, never the user's.
#include <QApplication>
#include <QFile>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    const QTemporaryDir scratch(QDir::tempPath() + "/efr-ui-XXXXXX");
    if (!scratch.isValid())
        return 1;
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platform.isEmpty() || platform == "offscreen") {
        QFile screens(scratch.filePath("screens.json"));
        if (!screens.open(QIODevice::WriteOnly) ||
            screens.write(R"({"screens": [{"name": "test", "x": 0, "y": 0, "width": 1280, "height": 800,
                             "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})") < 0)
            return 1;
        screens.close();
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + screens.fileName().toLocal8Bit());
    }
    const QString dataHome = scratch.filePath("data");
    if (!QDir().mkpath(dataHome))
        return 1;
    qputenv("XDG_DATA_HOME", dataHome.toLocal8Bit());
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
