// SPDX-License-Identifier: GPL-3.0-or-later
//
// How the window looks: every control at a fixed place, its texts, fonts
// and colours. Positions are given in twips (1/1440 inch) and converted at
// 15 twips per pixel; Qt's device-independent pixels then scale the whole
// window on high-DPI screens.

#include "clickable_label.h"
#include "drive_chooser.h"
#include "folder_tree.h"
#include "form1.h"
#include "list_models.h"
#include "maker.h"
#include "path_list_view.h"
#include "window_button.h"

#include <QApplication>
#include <QLabel>
#include <QLayout>
#include <QListView>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>

namespace {

constexpr int kTwipsPerPixel = 15;

constexpr int pixels(int twips) {
    return twips / kTwipsPerPixel;
}

void place(QWidget* widget, int left, int top, int width, int height) {
    widget->setGeometry(pixels(left), pixels(top), pixels(width), pixels(height));
}

// The face the window was drawn for, then metric look-alikes.
QFont sansSerif(qreal points, bool bold, bool underline = false) {
    QFont font;
    font.setFamilies({"MS Sans Serif", "Microsoft Sans Serif", "Liberation Sans", "Arimo", "DejaVu Sans"});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(bold);
    font.setUnderline(underline);
    return font;
}

void setColour(QWidget* widget, QPalette::ColorRole role, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
}

// Text on the window's own light backgrounds: dark whatever the desktop's
// colour scheme, which is drawn for its own backgrounds. Greyed out when
// the control is disabled, still at 4.5:1 or better.
const QColor kTextOnLight(0x00, 0x00, 0x00);
const QColor kDisabledTextOnLight(0x4D, 0x4D, 0x4D);

void setTextOnLight(QWidget* widget, std::initializer_list<QPalette::ColorRole> roles) {
    QPalette palette = widget->palette();
    for (const QPalette::ColorRole role : roles) {
        palette.setColor(role, kTextOnLight);
        palette.setColor(QPalette::Disabled, role, kDisabledTextOnLight);
    }
    widget->setPalette(palette);
}

PathListView* makeList(QWidget* parent, QAbstractItemModel* model) {
    auto* list = new PathListView(parent);
    list->setModel(model);
    // Every entry whole, on as many lines as it needs (WrappedTextDelegate
    // measures a million rows in a blink).
    list->setItemDelegate(new WrappedTextDelegate(list));
    list->setUniformItemSizes(false);
    list->setTextElideMode(Qt::ElideNone);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    return list;
}

QLabel* makeLabel(QWidget* parent, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setTextFormat(Qt::PlainText);
    return label;
}

} // namespace

void Form1::createControls() {
    setWindowTitle("Quennow :: Empty Folder Remover");
    setWindowIcon(QIcon(":/icons/empty-folder-remover.png"));
    setFont(sansSerif(8.25, false));

    auto* clientArea = new QWidget(this);
    clientArea->setObjectName("clientArea");
    clientArea->setFixedSize(pixels(14715), pixels(7350));
    clientArea->setAutoFillBackground(true);
    setColour(clientArea, QPalette::Window, QColor(0xFF, 0xC0, 0xC0));
    setTextOnLight(clientArea, {QPalette::WindowText});
    // The controls keep their places; on a screen too small for them the
    // view onto them scrolls (see fitInto()).
    m_clientView = new QScrollArea(this);
    m_clientView->setObjectName("clientView");
    m_clientView->setFrameShape(QFrame::NoFrame);
    m_clientView->setFocusPolicy(Qt::NoFocus); // the controls in it take the focus
    m_clientView->setWidget(clientArea);
    m_clientView->setFixedSize(clientArea->size());
    setCentralWidget(m_clientView);

    m_folderListModel = new FolderListModel(m_folderList, this);
    List1 = makeList(clientArea, m_folderListModel);
    List1->setObjectName("List1");
    place(List1, 120, 720, 5535, 6360);
    List1->setFont(sansSerif(8.25, true));
    setColour(List1, QPalette::Base, QColor(0xFF, 0xE0, 0xC0));
    setTextOnLight(List1, {QPalette::Text});
    List1->setToolTip("List of empty folder(s)");
    List1->setItemDelegate(new MarkOnClickDelegate(List1));

    Drive1 = new DriveChooser(clientArea);
    Drive1->setObjectName("Drive1");
    place(Drive1, 12120, 240, 2415, 420);
    Drive1->setFont(sansSerif(12, true));
    setColour(Drive1, QPalette::Button, QColor(0xC0, 0xC0, 0xFF));
    setColour(Drive1, QPalette::Base, QColor(0xC0, 0xC0, 0xFF));
    setTextOnLight(Drive1, {QPalette::Text, QPalette::ButtonText});
    Drive1->setToolTip("Select Drive");

    Dir1 = new FolderTree(clientArea);
    Dir1->setObjectName("Dir1");
    place(Dir1, 11040, 720, 3495, 4590);
    Dir1->setFont(sansSerif(8.25, true));
    setColour(Dir1, QPalette::Base, QColor(0xC0, 0xFF, 0xC0));
    setTextOnLight(Dir1, {QPalette::Text});
    Dir1->setToolTip("Select folder to find empty folder(s) inside it");

    Command2 = new WindowButton("Delete", clientArea);
    Command2->setObjectName("Command2");
    place(Command2, 5760, 6000, 1575, 1095);
    Command2->setFont(sansSerif(13.5, true));
    setColour(Command2, QPalette::Button, QColor(0xFF, 0x00, 0x00));
    setTextOnLight(Command2, {QPalette::ButtonText}); // black on red: 5.3:1, white only 4:1
    // Grey on red can't be read: disabled, the button pales instead.
    QPalette deletePalette = Command2->palette();
    deletePalette.setColor(QPalette::Disabled, QPalette::Button, QColor(0xFF, 0x99, 0x99));
    deletePalette.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x33, 0x33, 0x33));
    Command2->setPalette(deletePalette);
    Command2->setToolTip("Delete selected folder(s)");

    Command3 = new WindowButton("Mark All", clientArea);
    Command3->setObjectName("Command3");
    place(Command3, 120, 240, 1455, 495);
    Command3->setFont(sansSerif(8.25, true));
    Command3->setToolTip("Mark all empty folders");

    Command4 = new WindowButton("Unmark All", clientArea);
    Command4->setObjectName("Command4");
    place(Command4, 1680, 240, 1455, 495);
    Command4->setFont(sansSerif(8.25, true));
    Command4->setToolTip("Unmark all empty folders");

    Label1 = new ClickableLabel("Like Our Facebook Page and Get More Software and Information", clientArea);
    Label1->setObjectName("Label1");
    place(Label1, 8880, 6960, 5655, 255);
    Label1->setWordWrap(true);
    Label1->setFont(sansSerif(8.25, true, true));
    setColour(Label1, QPalette::WindowText, QColor(0x00, 0x00, 0xFF));
    Label1->setCursor(Qt::UpArrowCursor);

    m_deletionLogModel = new DeletionLogModel(m_deletionLog, this);
    List2 = makeList(clientArea, m_deletionLogModel);
    List2->setObjectName("List2");
    place(List2, 6000, 720, 4935, 4620);
    List2->setFont(sansSerif(9.75, true));
    // The scheme's button colour, with the text the scheme draws on it.
    setColour(List2, QPalette::Base, QApplication::palette().color(QPalette::Button));
    setColour(List2, QPalette::Text, QApplication::palette().color(QPalette::ButtonText));
    List2->setToolTip("This list shows which empty folders have been deleted");
    List2->followNewest();
    List2->setIconSize(QSize(16, 16)); // an icon no taller than the line

    clrLog = new WindowButton("Clear Log", clientArea);
    clrLog->setObjectName("clrLog");
    place(clrLog, 6000, 360, 1335, 375);

    Label2 = makeLabel(clientArea, "This is the list of all deleted folders");
    Label2->setObjectName("Label2");
    place(Label2, 7440, 480, 3375, 255);

    Label3 = makeLabel(clientArea, "Select the empty folders you want to delete");
    Label3->setObjectName("Label3");
    place(Label3, 3240, 240, 2415, 495);

    Label4 = makeLabel(clientArea, "Select Drive");
    Label4->setObjectName("Label4");
    place(Label4, 11040, 360, 975, 255);

    Label5 =
        makeLabel(clientArea, "Select the main folder here. We will find the empty folders which are located "
                              "inside the main folder.");
    Label5->setObjectName("Label5");
    place(Label5, 11040, 5400, 3495, 615);

    Label6 = makeLabel(clientArea, QUrl(kMakerPage).host());
    Label6->setObjectName("Label6");
    place(Label6, 12600, 6360, 1815, 255);
    Label6->setFont(sansSerif(9.75, true));
    setColour(Label6, QPalette::WindowText, kDisabledTextOnLight); // grey, yet 5.4:1 on the pink

    Label7 = makeLabel(clientArea, kMakerEmail);
    Label7->setObjectName("Label7");
    place(Label7, 12720, 6600, 1575, 255);
    Label7->setFont(sansSerif(8.25, true));
    setColour(Label7, QPalette::WindowText, kTextOnLight);

    // Beside the status line: the folders a scan left out, from the
    // keyboard too, and Undo once a Delete moved folders to the Trash.
    keptButton = new WindowButton("Left Out...", this);
    keptButton->setObjectName("keptButton");
    keptButton->setToolTip("List every folder the scan left out, and why");
    keptButton->hide();
    undoButton = new WindowButton("Undo", this);
    undoButton->setObjectName("undoButton");
    undoButton->setToolTip("Put back the folders the last Delete moved to the Trash (Ctrl+Z)");
    undoButton->hide();
    cancelButton = new WindowButton("Cancel", this);
    cancelButton->setObjectName("cancelButton");
    cancelButton->setToolTip("Stop after the folder at hand (Escape)");
    cancelButton->hide();

    // Labels never take the focus; tabbing visits these in this order.
    QWidget* const tabOrder[] = {List1, Drive1, Dir1, Command2, Command3, Command4, List2, clrLog, keptButton, undoButton, cancelButton};
    for (QWidget* widget : tabOrder)
        widget->setFocusPolicy(Qt::StrongFocus);
    for (std::size_t i = 1; i < std::size(tabOrder); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);

    nameForAssistiveTechnology();

    // Below the controls, a line that says what the window is doing.
    statusLine = new QLabel(this);
    statusLine->setObjectName("statusLine");
    statusLine->setTextFormat(Qt::PlainText);
    statusLine->setTextInteractionFlags(Qt::TextSelectableByMouse); // an address in it can be copied
    statusBar()->addWidget(statusLine, 1);
    statusBar()->addPermanentWidget(keptButton);
    statusBar()->addPermanentWidget(undoButton);
    statusBar()->addPermanentWidget(cancelButton);
    statusBar()->setSizeGripEnabled(false);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    List1->setFocus();
}

// What a screen reader says of each control: its caption or the label that
// names it, then its tooltip. The labels beside the lists, the drive
// chooser and the tree are tied to them as their buddies, which no one sees
// (no caption carries an access key).
void Form1::nameForAssistiveTechnology() {
    const auto describe = [](QWidget* widget, const QString& name, const QString& description) {
        widget->setAccessibleName(name);
        widget->setAccessibleDescription(description);
    };
    describe(List1, "List of empty folder(s)", Label3->text());
    describe(List2, Label2->text(), List2->toolTip());
    describe(Drive1, Label4->text(), Drive1->toolTip());
    describe(Dir1, Dir1->toolTip(), Label5->text());
    describe(Command2, Command2->text(), Command2->toolTip());
    describe(Command3, Command3->text(), Command3->toolTip());
    describe(Command4, Command4->text(), Command4->toolTip());
    describe(clrLog, clrLog->text(), "Empties the list of deleted folders");
    describe(keptButton, "Left Out", keptButton->toolTip());
    describe(undoButton, undoButton->text(), undoButton->toolTip());
    describe(cancelButton, cancelButton->text(), cancelButton->toolTip());
    describe(Label1, Label1->text(), "Opens the maker's web page in the web browser");
    Label3->setBuddy(List1);
    Label2->setBuddy(List2);
    Label4->setBuddy(Drive1);
    Label5->setBuddy(Dir1);
}

// The window as it was drawn where it fits in `room` (the screen less the
// window's frame); else the view onto the controls shrinks to fit, with
// scroll bars, and the status line stays in sight below it. Tabbing to a
// control out of sight scrolls it into view.
void Form1::fitInto(const QSize& room) {
    const QSize client = m_clientView->widget()->size();
    const int statusHeight = statusBar()->sizeHint().height();
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_clientView);
    QSize view(std::min(client.width(), room.width()), std::min(client.height(), room.height() - statusHeight));
    if (view.width() < client.width()) // a scroll bar below the controls
        view.setHeight(std::min(client.height() + bar, room.height() - statusHeight));
    if (view.height() < client.height()) // and one beside them
        view.setWidth(std::min(client.width() + bar, room.width()));
    m_clientView->setFixedSize(view.expandedTo(QSize(1, 1)));
}

void Form1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!screen())
        return;
    fitInto(screen()->availableGeometry().size());
    // Once shown, the frame the desktop put around the window is known.
    QTimer::singleShot(0, this, [this] {
        if (!screen())
            return;
        const QRect available = screen()->availableGeometry();
        const QSize frame = frameGeometry().size() - geometry().size();
        fitInto(available.size() - frame - QSize(1, 1)); // no pixel past the edge when scaled
        if (!available.contains(frameGeometry()))
            move(available.topLeft());
    });
}
