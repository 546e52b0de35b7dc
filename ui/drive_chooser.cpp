// SPDX-License-Identifier: GPL-3.0-or-later
#include "drive_chooser.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QSignalBlocker>
#include <QStorageInfo>

#include <algorithm>

namespace {

bool isKernelFileSystem(const QString& type) {
    static const QStringList kernelTypes = {
        "proc",      "sysfs",           "cgroup",      "cgroup2",  "devtmpfs",   "devpts",  "securityfs",
        "debugfs",   "tracefs",         "pstore",      "bpf",      "configfs",   "fusectl", "mqueue",
        "hugetlbfs", "autofs",          "binfmt_misc", "efivarfs", "rpc_pipefs", "nsfs",    "selinuxfs",
        "ramfs",     "fuse.gvfsd-fuse", "fuse.portal", "squashfs"};
    return kernelTypes.contains(type);
}

bool isUnder(const QString& path, const QString& folder) {
    return path == folder || path.startsWith(folder + '/');
}

bool isSystemPlace(const QString& path) {
    return isUnder(path, "/proc") || isUnder(path, "/sys") || isUnder(path, "/dev") || isUnder(path, "/run");
}

} // namespace

std::vector<DriveInfo> usableDrives(std::vector<DriveInfo> mounted) {
    // In a chroot or a small container the mount table may not name "/" at
    // all; the root folder is still there to be scanned, so it is always
    // offered, with its label when the table gives one.
    const auto listedRoot = std::find_if(mounted.begin(), mounted.end(),
                                         [](const DriveInfo& drive) { return drive.rootPath == "/"; });
    DriveInfo root{"/", {}, {}, true};
    if (listedRoot != mounted.end())
        root.label = listedRoot->label;

    std::erase_if(mounted, [](const DriveInfo& drive) {
        return drive.rootPath == "/" || !drive.ready || drive.rootPath.isEmpty() ||
               isKernelFileSystem(drive.fileSystemType) || isSystemPlace(drive.rootPath);
    });
    std::sort(mounted.begin(), mounted.end(),
              [](const DriveInfo& a, const DriveInfo& b) { return a.rootPath < b.rootPath; });
    // The same place mounted twice is offered once.
    mounted.erase(
        std::unique(mounted.begin(), mounted.end(),
                    [](const DriveInfo& a, const DriveInfo& b) { return a.rootPath == b.rootPath; }),
        mounted.end());
    mounted.insert(mounted.begin(), std::move(root));
    return mounted;
}

QString driveText(const DriveInfo& drive) {
    if (drive.label.isEmpty() || drive.label == drive.rootPath)
        return drive.rootPath;
    return drive.rootPath + "  (" + drive.label + ")";
}

namespace {

// The chooser as a screen reader sees it: named for what it does ("Select
// Drive"), with the chosen drive as its value and its list as its child.
// Qt's own combo box takes the current text for the name on this platform.
class AccessibleDriveChooser final : public QAccessibleWidget {
public:
    explicit AccessibleDriveChooser(DriveChooser* chooser) : QAccessibleWidget(chooser, QAccessible::ComboBox) {}

    QString text(QAccessible::Text which) const override {
        if (which == QAccessible::Value)
            return chooser()->currentText();
        if (which == QAccessible::Name && !chooser()->accessibleName().isEmpty())
            return chooser()->accessibleName();
        return QAccessibleWidget::text(which);
    }
    int childCount() const override { return 1; }
    QAccessibleInterface* child(int index) const override {
        return index == 0 ? QAccessible::queryAccessibleInterface(chooser()->view()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child && child->object() == chooser()->view() ? 0 : -1;
    }
    QStringList actionNames() const override { return {showMenuAction()}; }
    void doAction(const QString& action) override {
        if (action == showMenuAction())
            chooser()->showPopup();
    }

private:
    DriveChooser* chooser() const { return static_cast<DriveChooser*>(widget()); }
};

QAccessibleInterface* accessibleDriveChooserFor(const QString& className, QObject* object) {
    if (className == QLatin1String("DriveChooser") && object->isWidgetType())
        return new AccessibleDriveChooser(static_cast<DriveChooser*>(object));
    return nullptr;
}

} // namespace

DriveChooser::DriveChooser(QWidget* parent) : QComboBox(parent) {
    static const bool installed = [] {
        QAccessible::installFactory(accessibleDriveChooserFor);
        return true;
    }();
    Q_UNUSED(installed);
    refresh();
    connect(this, &QComboBox::activated, this, &DriveChooser::Change);
}

void DriveChooser::refresh() {
    std::vector<DriveInfo> mounted;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes())
        mounted.push_back(DriveInfo{volume.rootPath(), volume.name(),
                                    QString::fromLatin1(volume.fileSystemType()),
                                    volume.isValid() && volume.isReady()});
    const QString chosen = rootPath();
    const QSignalBlocker blocker(this);
    clear();
    for (const DriveInfo& drive : usableDrives(std::move(mounted)))
        addItem(driveText(drive), drive.rootPath);
    const int index = findData(chosen);
    setCurrentIndex(index >= 0 ? index : 0);
}

void DriveChooser::showDriveOf(const QString& path) {
    const QSignalBlocker blocker(this);
    const int index = findData(QStorageInfo(path).rootPath());
    if (index >= 0)
        setCurrentIndex(index);
}

void DriveChooser::showPopup() {
    refresh();
    QComboBox::showPopup();
}
