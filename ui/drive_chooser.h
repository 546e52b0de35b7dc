// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QComboBox>
#include <QString>

#include <vector>

// A mounted file system, as far as choosing one goes.
struct DriveInfo {
    QString rootPath; // where it is mounted
    QString label;    // its name, when it has one
    QString fileSystemType;
    bool ready = true;
};

// The file systems worth offering: mounted, ready and real (no proc, sysfs,
// cgroup, device or other kernel file systems, nothing mounted under /proc,
// /sys, /dev or /run). The root folder "/" comes first, even when the mount
// table does not name it, then the others by path.
std::vector<DriveInfo> usableDrives(std::vector<DriveInfo> mounted);

// How a drive is shown: its mount path first, then its label if it has one.
QString driveText(const DriveInfo& drive);

// The drive chooser: lists the usable file systems and emits Change() when
// the user picks one. The list is read again each time it opens, so a stick
// plugged in meanwhile shows up.
class DriveChooser final : public QComboBox {
    Q_OBJECT
public:
    explicit DriveChooser(QWidget* parent = nullptr);

    // The chosen drive as shown, mount path first.
    QString Drive() const { return currentText(); }
    // The chosen drive's mount path.
    QString rootPath() const { return currentData().toString(); }
    // Shows the drive that holds `path`, without emitting Change().
    void showDriveOf(const QString& path);

    void showPopup() override;

signals:
    void Change();

private:
    void refresh();
};
