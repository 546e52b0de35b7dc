// SPDX-License-Identifier: GPL-3.0-or-later
// The window's look: every control's place, texts, fonts, colours and order.
#include "clickable_label.h"
#include "drive_chooser.h"
#include "folder_tree.h"
#include "form1.h"
#include "path_list_view.h"
#include "text_wrapper.h"
#include "support/temp_folder.h"

#include <QAccessible>

#include <cmath>
#include <QApplication>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

struct ControlLook {
    const char* name;
    int left, top, width, height; // twips
    const char* text;             // nullptr: not a caption
    const char* toolTip;
    double points; // 0: the window's own font
    bool bold;
};

const ControlLook kControls[] = {
    {"List1", 120, 720, 5535, 6360, nullptr, "List of empty folder(s)", 8.25, true},
    {"Drive1", 12120, 240, 2415, 420, nullptr, "Select Drive", 12, true},
    {"Dir1", 11040, 720, 3495, 4590, nullptr, "Select folder to find empty folder(s) inside it", 8.25, true},
    {"Command2", 5760, 6000, 1575, 1095, "Delete", "Delete selected folder(s)", 13.5, true},
    {"Command3", 120, 240, 1455, 495, "Mark All", "Mark all empty folders", 8.25, true},
    {"Command4", 1680, 240, 1455, 495, "Unmark All", "Unmark all empty folders", 8.25, true},
    {"Label1", 8880, 6960, 5655, 255, "Like Our Facebook Page and Get More Software and Information", "",
     8.25, true},
    {"List2", 6000, 720, 4935, 4620, nullptr, "This list shows which empty folders have been deleted", 9.75,
     true},
    {"clrLog", 6000, 360, 1335, 375, "Clear Log", "", 0, false},
    {"Label2", 7440, 480, 3375, 255, "This is the list of all deleted folders", "", 0, false},
    {"Label3", 3240, 240, 2415, 495, "Select the empty folders you want to delete", "", 0, false},
    {"Label4", 11040, 360, 975, 255, "Select Drive", "", 0, false},
    {"Label5", 11040, 5400, 3495, 615,
     "Select the main folder here. We will find the empty folders which are located inside the main folder.",
     "", 0, false},
    {"Label6", 12600, 6360, 1815, 255, "www.example.org", "", 9.75, true},
    {"Label7", 12720, 6600, 1575, 255, "info@example.org", "", 8.25, true},
};

QString captionOf(QWidget* widget) {
    if (auto* button = qobject_cast<QPushButton*>(widget))
        return button->text();
    if (auto* label = qobject_cast<QLabel*>(widget))
        return label->text();
    return {};
}

QColor colour(QWidget* widget, QPalette::ColorRole role) {
    return widget->palette().color(QPalette::Active, role);
}

} // namespace

TEST(Form1Layout, EveryControlSitsWhereItShouldWithItsTextsAndFont) {
    Form1 form;
    QWidget* clientArea = form.findChild<QWidget*>("clientArea");
    ASSERT_NE(clientArea, nullptr);
    for (const ControlLook& control : kControls) {
        SCOPED_TRACE(control.name);
        auto* widget = form.findChild<QWidget*>(control.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->parentWidget(), clientArea);
        EXPECT_EQ(widget->geometry(),
                  QRect(control.left / 15, control.top / 15, control.width / 15, control.height / 15));
        if (control.text) {
            EXPECT_EQ(captionOf(widget).toStdString(), control.text);
        }
        EXPECT_EQ(widget->toolTip().toStdString(), control.toolTip);
        const QFont font = widget->font();
        EXPECT_EQ(font.families().value(0), "MS Sans Serif");
        EXPECT_DOUBLE_EQ(font.pointSizeF(), control.points == 0 ? 8.25 : control.points);
        EXPECT_EQ(font.bold(), control.bold);
        EXPECT_FALSE(captionOf(widget).contains('&')) << "no caption carries an access key";
    }
}

TEST(Form1Layout, TheWindowHasItsTitleSizeColoursAndIcon) {
    Form1 form;
    form.show();
    EXPECT_EQ(form.windowTitle(), "Quennow :: Empty Folder Remover");
    QWidget* clientArea = form.findChild<QWidget*>("clientArea");
    EXPECT_EQ(clientArea->size(), QSize(981, 490));
    EXPECT_EQ(form.minimumSize(), form.maximumSize()) << "the window has a fixed size";
    EXPECT_GE(form.statusLine->mapTo(&form, QPoint(0, 0)).y(), 490)
        << "the status line sits below the controls";
    EXPECT_FALSE(form.windowIcon().isNull());
    EXPECT_TRUE(form.windowIcon().availableSizes().contains(QSize(32, 32)));

    EXPECT_EQ(colour(clientArea, QPalette::Window), QColor(0xFF, 0xC0, 0xC0));
    EXPECT_EQ(colour(form.List1, QPalette::Base), QColor(0xFF, 0xE0, 0xC0));
    EXPECT_EQ(colour(form.Drive1, QPalette::Button), QColor(0xC0, 0xC0, 0xFF));
    EXPECT_EQ(colour(form.Dir1, QPalette::Base), QColor(0xC0, 0xFF, 0xC0));
    EXPECT_EQ(colour(form.Command2, QPalette::Button), QColor(0xFF, 0x00, 0x00));
    EXPECT_EQ(colour(form.List2, QPalette::Base), QApplication::palette().color(QPalette::Button));
    EXPECT_EQ(colour(form.Label1, QPalette::WindowText), QColor(0x00, 0x00, 0xFF));
    EXPECT_TRUE(form.Label1->font().underline());
    EXPECT_EQ(form.Label1->cursor().shape(), Qt::UpArrowCursor);

    for (QLabel* label : {form.Label2, form.Label3, form.Label4, form.Label5, form.Label6, form.Label7}) {
        EXPECT_TRUE(label->wordWrap());
        EXPECT_FALSE(label->autoFillBackground()) << "the window's pink shows through";
    }
    EXPECT_GT(form.Label3->heightForWidth(form.Label3->width()), form.fontMetrics().height())
        << "Label3 takes more than one line";
    for (QListView* list : {form.List1, form.List2})
        EXPECT_EQ(list->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
}

namespace {

// WCAG's contrast ratio of two colours, 1 to 21.
double contrast(const QColor& a, const QColor& b) {
    const auto luminance = [](const QColor& c) {
        const auto linear = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

} // namespace

// The window's fixed backgrounds carry fixed text colours, so that a dark
// colour scheme (light text on dark) leaves every text readable, enabled
// or not; the log, on the scheme's own colour, takes the scheme's text.
TEST(Form1Layout, EveryTextStaysReadableUnderALightOrADarkColourScheme) {
    const QPalette original = QApplication::palette();
    QPalette dark;
    for (const auto& [role, colour] : {std::pair{QPalette::Window, QColor(0x20, 0x20, 0x20)},
                                       {QPalette::WindowText, QColor(0xF0, 0xF0, 0xF0)},
                                       {QPalette::Base, QColor(0x10, 0x10, 0x10)},
                                       {QPalette::Text, QColor(0xFF, 0xFF, 0xFF)},
                                       {QPalette::Button, QColor(0x30, 0x30, 0x30)},
                                       {QPalette::ButtonText, QColor(0xFF, 0xFF, 0xFF)}})
        dark.setColor(role, colour);
    dark.setColor(QPalette::Disabled, QPalette::Text, QColor(0xA0, 0xA0, 0xA0));
    dark.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0xA0, 0xA0, 0xA0));
    dark.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0xA0, 0xA0, 0xA0));
    for (const bool darkScheme : {false, true}) {
        QApplication::setPalette(darkScheme ? dark : original);
        Form1 form;
        QWidget* clientArea = form.findChild<QWidget*>("clientArea");
        struct Pair {
            const char* name;
            QWidget* widget;
            QPalette::ColorRole background;
            QWidget* backgroundOf; // where the background is drawn
            QPalette::ColorRole text;
        };
        const Pair pairs[] = {
            {"List1", form.List1, QPalette::Base, form.List1, QPalette::Text},
            {"Dir1", form.Dir1, QPalette::Base, form.Dir1, QPalette::Text},
            {"Drive1", form.Drive1, QPalette::Button, form.Drive1, QPalette::ButtonText},
            {"Drive1 list", form.Drive1, QPalette::Base, form.Drive1, QPalette::Text},
            {"Command2", form.Command2, QPalette::Button, form.Command2, QPalette::ButtonText},
            {"List2", form.List2, QPalette::Base, form.List2, QPalette::Text},
            {"Label1", form.Label1, QPalette::Window, clientArea, QPalette::WindowText},
            {"Label3", form.Label3, QPalette::Window, clientArea, QPalette::WindowText},
            {"Label6", form.Label6, QPalette::Window, clientArea, QPalette::WindowText},
            {"Label7", form.Label7, QPalette::Window, clientArea, QPalette::WindowText},
        };
        for (const Pair& pair : pairs)
            for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Disabled}) {
                if (group == QPalette::Disabled && pair.widget->inherits("QLabel"))
                    continue; // labels are never disabled
                const QColor background = pair.backgroundOf->palette().color(group, pair.background);
                const QColor text = pair.widget->palette().color(group, pair.text);
                EXPECT_GE(contrast(text, background), 4.5)
                    << pair.name << (group == QPalette::Disabled ? " (disabled)" : "") << ": " << text.name().toStdString()
                    << " on " << background.name().toStdString() << (darkScheme ? ", dark scheme" : "");
            }
    }
    QApplication::setPalette(original);
}

TEST(Form1Layout, TabbingVisitsTheControlsInOrderStartingFromTheFolderList) {
    Form1 form;
    form.show();
    QApplication::setActiveWindow(&form);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::focusWidget() != nullptr; }));
    EXPECT_EQ(QApplication::focusWidget(), form.List1);

    const std::vector<QWidget*> expected = {form.Drive1,   form.Dir1,  form.Command2, form.Command3,
                                            form.Command4, form.List2, form.clrLog,   form.List1};
    std::vector<QWidget*> visited;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited.push_back(QApplication::focusWidget());
    }
    EXPECT_EQ(visited, expected);
    for (QLabel* label : {static_cast<QLabel*>(form.Label1), form.Label2, form.Label3, form.Label4,
                          form.Label5, form.Label6, form.Label7})
        EXPECT_EQ(label->focusPolicy(), Qt::NoFocus);
}

// What a screen reader says of each control, through the accessibility
// interface Qt hands it; the web link is a link that can be pressed.
TEST(Form1Layout, EveryControlHasAnAccessibleNameAndDescription) {
    Form1 form;
    const struct {
        QWidget* control;
        QAccessible::Role role;
        const char* name;
        const char* description;
    } expected[] = {
        {form.List1, QAccessible::List, "List of empty folder(s)",
         "Select the empty folders you want to delete"},
        {form.List2, QAccessible::List, "This is the list of all deleted folders",
         "This list shows which empty folders have been deleted"},
        {form.Dir1, QAccessible::Tree, "Select folder to find empty folder(s) inside it",
         "Select the main folder here. We will find the empty folders which are located inside the main "
         "folder."},
        {form.Command2, QAccessible::Button, "Delete", "Delete selected folder(s)"},
        {form.Command3, QAccessible::Button, "Mark All", "Mark all empty folders"},
        {form.Command4, QAccessible::Button, "Unmark All", "Unmark all empty folders"},
        {form.clrLog, QAccessible::Button, "Clear Log", "Empties the list of deleted folders"},
        {form.keptButton, QAccessible::Button, "Left Out", "List every folder the scan left out, and why"},
        {form.undoButton, QAccessible::Button, "Undo", "Put back the folders the last Delete moved to the Trash (Ctrl+Z)"},
        {form.cancelButton, QAccessible::Button, "Cancel", "Stop after the folder at hand (Escape)"},
        {form.Label1, QAccessible::Link, "Like Our Facebook Page and Get More Software and Information",
         "Opens the maker's web page in the web browser"},
    };
    for (const auto& each : expected) {
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(each.control);
        ASSERT_NE(accessible, nullptr) << each.name;
        EXPECT_EQ(accessible->role(), each.role) << each.name;
        EXPECT_EQ(accessible->text(QAccessible::Name), each.name);
        EXPECT_EQ(accessible->text(QAccessible::Description), each.description);
    }
    // On Linux a drop-down's name is its value, as Qt has it; the label
    // tied to it names it, and its description says what it is for.
    QAccessibleInterface* drives = QAccessible::queryAccessibleInterface(form.Drive1);
    EXPECT_EQ(drives->role(), QAccessible::ComboBox);
    EXPECT_EQ(drives->text(QAccessible::Description), "Select Drive");
    EXPECT_EQ(drives->text(QAccessible::Name), "Select Drive") << "not the drive shown";
    EXPECT_EQ(drives->text(QAccessible::Value), form.Drive1->currentText());
    ASSERT_EQ(drives->childCount(), 1);
    EXPECT_EQ(drives->child(0)->role(), QAccessible::List) << "its drives can be read as a list";
    const auto labels = drives->relations(QAccessible::Label);
    ASSERT_EQ(labels.size(), 1);
    EXPECT_EQ(labels.front().first->text(QAccessible::Name), "Select Drive");

    QAccessibleInterface* link = QAccessible::queryAccessibleInterface(form.Label1);
    ASSERT_NE(link->actionInterface(), nullptr);
    QSignalSpy pressed(form.Label1, &ClickableLabel::clicked);
    link->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(pressed.count(), 1);
}

TEST(DriveChooser, OffersRealFileSystemsRootFirstWithTheirLabels) {
    const std::vector<DriveInfo> mounted = {
        {"/proc", "proc", "proc", true},
        {"/media/stick", "STICK", "vfat", true},
        {"/sys/fs/cgroup", "", "cgroup2", true},
        {"/home", "", "ext4", true},
        {"/dev/shm", "", "tmpfs", true},
        {"/", "/dev/sda1", "ext4", true},
        {"/media/cd", "DISC", "iso9660", false},
        {"/run/user/1000", "", "tmpfs", true},
        {"/home", "", "ext4", true},
        {"/tmp", "", "tmpfs", true},
    };
    std::vector<QString> texts;
    for (const DriveInfo& drive : usableDrives(mounted))
        texts.push_back(driveText(drive));
    EXPECT_EQ(texts, (std::vector<QString>{"/  (/dev/sda1)", "/home", "/media/stick  (STICK)", "/tmp"}));

    // A chroot's mount table names only the host's places, not "/": the
    // root folder is offered first all the same.
    const std::vector<DriveInfo> inChroot = {
        {"/srv/build", "", "ext4", true},
        {"/proc", "proc", "proc", true},
        {"/host/data", "DATA", "ext4", false},
    };
    texts.clear();
    for (const DriveInfo& drive : usableDrives(inChroot))
        texts.push_back(driveText(drive));
    EXPECT_EQ(texts, (std::vector<QString>{"/", "/srv/build"}));
}

// A text is broken into lines that fit, lose nothing and join back to the
// text; a line ends after a "/" where one is near its end, and never splits
// a character that takes two code units or a letter from its accent.
TEST(TextWrapper, LinesFitAndJoinBackToTheWholeText) {
    QFont font = QApplication::font();
    font.setBold(true);
    const TextWrapper wrapper(font);
    const QFontMetricsF metrics(font);
    struct Case {
        QString text;
        qreal width;
        qsizetype lines; // at least
    };
    const QString longName(300, 'n');
    const QString folder = QString::fromUtf8("\xf0\x9f\x93\x81");  // U+1F4C1, two code units
    const QString accented = QString::fromUtf8("e\xcc\x81");        // e and a combining acute
    const QString emoji = "/tmp/" + folder + folder + folder + "/" + accented + accented + accented;
    for (const Case& c : {Case{"/tmp/short", 400, 1}, Case{"/tmp/alice/Projects/webapp/node_modules/left-pad has been deleted.", 150, 2},
                          Case{"/" + longName, 120, 3}, Case{emoji, 20, 3}, Case{"", 100, 1}}) {
        SCOPED_TRACE(c.text.toStdString());
        const QList<qsizetype> starts = wrapper.lineStarts(c.text, c.width);
        ASSERT_GE(starts.size(), c.lines);
        EXPECT_EQ(wrapper.lineCount(c.text, c.width), starts.size());
        QString joined;
        for (qsizetype i = 0; i < starts.size(); ++i) {
            const QString line = c.text.mid(starts[i], (i + 1 < starts.size() ? starts[i + 1] : c.text.size()) - starts[i]);
            joined += line;
            EXPECT_LE(metrics.horizontalAdvance(line), c.width) << line.toStdString();
            if (i > 0) {
                EXPECT_FALSE(line.front().isLowSurrogate() || line.front().isMark()) << line.toStdString();
            }
            // A line that ends within a name had no "/" in its second half.
            if (const qsizetype slash = line.lastIndexOf('/'); i + 1 < starts.size() && !line.endsWith('/') && slash >= 0) {
                EXPECT_LT(metrics.horizontalAdvance(line.left(slash + 1)), c.width / 2 + 1) << line.toStdString();
            }
        }
        EXPECT_EQ(joined, c.text);
    }
}

// From the keyboard: Enter presses the focused button as Space does, the
// focus outline of a button stands out from what surrounds it, and an
// empty check box is outlined clearly on its row (3:1 or better each).
TEST(Form1Layout, ButtonsAnswerEnterAndFocusAndCheckBoxesShowClearly) {
    testing_support::TempFolder tree("efr-tree");
    ::mkdir((tree / "empty").c_str(), 0755);
    Form1 form;
    form.show();
    QApplication::setActiveWindow(&form);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    form.setAttribute(Qt::WA_KeyboardFocusChange); // as after a Tab
    for (QPushButton* button : {form.Command2, form.Command3, form.Command4, form.clrLog}) {
        SCOPED_TRACE(button->text().toStdString());
        QSignalSpy pressed(button, &QPushButton::clicked);
        button->setFocus(Qt::TabFocusReason);
        QTest::keyClick(button, Qt::Key_Return);
        EXPECT_EQ(pressed.count(), 1);

        const QImage shot = button->grab().toImage();
        const QColor outline = shot.pixelColor(1, shot.height() / 2);
        const QColor around = button->parentWidget()->palette().color(QPalette::Window);
        EXPECT_GE(contrast(outline, around), 3.0) << outline.name().toStdString() << " on " << around.name().toStdString();
    }

    form.Dir1->setPath(QString::fromStdString(tree.path()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form.isBusy() && form.folderList().ListCount() == 1; }, 5000));
    QApplication::processEvents();
    const QRect row = form.List1->visualRect(form.List1->model()->index(0, 0));
    const QImage rowShot = form.List1->viewport()->grab(QRect(row.left(), row.top(), 20, row.height())).toImage();
    const QColor base = form.List1->palette().color(QPalette::Base);
    double strongest = 1;
    for (int y = 0; y < rowShot.height(); ++y)
        for (int x = 0; x < rowShot.width(); ++x)
            strongest = std::max(strongest, contrast(rowShot.pixelColor(x, y), base));
    EXPECT_GE(strongest, 3.0) << "the empty check box's border";
}

// On a screen smaller than the window (1024x600 at 144 DPI leaves about
// 683x380 for it), the window fits, its status line shows, and tabbing
// brings every control into sight; where the screen has room, nothing
// changes.
TEST(Form1Layout, OnASmallScreenEveryControlCanBeReached) {
    Form1 form;
    form.show();
    QApplication::setActiveWindow(&form);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    auto* view = form.findChild<QScrollArea*>("clientView");
    ASSERT_NE(view, nullptr);
    QApplication::processEvents();
    EXPECT_EQ(view->size(), QSize(981, 490)) << "it fits: as it was drawn";

    const QSize room(683, 380);
    form.fitInto(room);
    QApplication::processEvents();
    EXPECT_LE(form.width(), room.width());
    EXPECT_LE(form.height(), room.height());
    EXPECT_TRUE(form.rect().contains(form.statusLine->mapTo(&form, form.statusLine->rect().center())));
    for (int step = 0; step < 8; ++step) {
        QWidget* control = QApplication::focusWidget();
        ASSERT_NE(control, nullptr);
        const QRect shown = QRect(control->mapTo(view->viewport(), QPoint(0, 0)), control->size());
        const QRect inSight = shown.intersected(view->viewport()->rect());
        SCOPED_TRACE(control->objectName().toStdString());
        // Most of it, at least: a list taller than the view can't show whole.
        EXPECT_GE(inSight.width(), 0.75 * std::min(shown.width(), view->viewport()->width()));
        EXPECT_GE(inSight.height(), 0.75 * std::min(shown.height(), view->viewport()->height()));
        QTest::keyClick(control, Qt::Key_Tab);
    }
}
