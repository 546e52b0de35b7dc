// SPDX-License-Identifier: GPL-3.0-or-later
//
// What the window does: each handler is named for its control and event,
// and hands its work to the cleaning logic.

#include "form1.h"

#include "cleaner/posix_file_system.h"
#include "cleaner/user_home.h"
#include "browser_launcher.h"
#include "clickable_label.h"
#include "deletion_runner.h"
#include "disk_path.h"
#include "drive_chooser.h"
#include "folder_tree.h"
#include "list_models.h"
#include "maker.h"
#include "path_list_view.h"
#include "scan_runner.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QListView>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QSocketNotifier>
#include <QStringList>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iterator>
#include <span>
#include <utility>

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kProgressIntervalMs = 100;
// The longest the window thread spends on found folders or deletion
// outcomes in one turn of its event loop.
constexpr int kTurnBudgetMs = 15;

// The folder itself if it still exists, else the nearest folder above it.
QString nearestExistingFolder(const QString& path) {
    const auto isFolder = [](const QString& folder) {
        struct stat status {};
        return ::stat(pathToDisk(folder).c_str(), &status) == 0 && S_ISDIR(status.st_mode);
    };
    QString folder = QDir::cleanPath(path);
    while (!isFolder(folder) && folder != "/" && !folder.isEmpty())
        folder = QFileInfo(folder).path();
    return folder.isEmpty() ? QStringLiteral("/") : folder;
}

QString count(std::uint64_t n) {
    return QLocale().toString(static_cast<qulonglong>(n));
}

QString plural(std::uint64_t n, const char* one, const char* many) {
    return count(n) + " " + (n == 1 ? one : many);
}

// The folders a scan left out because something needs them, as the status
// line's tooltip lists them: the first ones, then how many more.
constexpr std::size_t kKeptFoldersShown = 20;

QString keptFolderLine(const cleaner::KeptFolder& kept) {
    return displayPath(kept.path) + ": " + QString::fromStdString(kept.reason);
}

QString keptFoldersTip(const std::vector<cleaner::KeptFolder>& kept) {
    QStringList lines;
    for (std::size_t i = 0; i < std::min(kept.size(), kKeptFoldersShown); ++i)
        lines << keptFolderLine(kept[i]);
    if (kept.size() > kKeptFoldersShown)
        lines << "and " + count(kept.size() - kKeptFoldersShown) + " more: \"Left Out...\" lists them all.";
    return lines.join('\n');
}

} // namespace

Form1::Form1(std::unique_ptr<cleaner::FileSystem> fileSystem, QWidget* parent)
    : QMainWindow(parent), m_fileSystem(std::move(fileSystem)) {
    createControls();
    m_scanRunner = new ScanRunner(this);
    m_deletionRunner = new DeletionRunner(this);
    m_browser = new BrowserLauncher(this);
    m_progressTimer = new QTimer(this);
    m_progressTimer->setInterval(kProgressIntervalMs);
    m_deletionProgressTimer = new QTimer(this);
    m_deletionProgressTimer->setInterval(kProgressIntervalMs);
    m_pace = new QTimer(this);
    m_pace->setSingleShot(true);
    m_pace->setInterval(0);

    // At start the tree shows the current working folder, on its drive; no
    // scan runs until the user picks a folder or a drive.
    std::error_code unknown;
    const std::filesystem::path working = std::filesystem::current_path(unknown);
    const QString workingFolder = unknown ? QStringLiteral("/") : pathFromDisk(working.native());
    Drive1->showDriveOf(workingFolder);
    Dir1->setPath(workingFolder);

    connectHandlers();
    updateControls();
    setStatus("Choose a drive or double-click a folder to find the empty folders inside it.");
}

Form1::~Form1() {
    delete m_wayEvents; // before the watch closes the handles they wait on
    delete m_mountTableEvents;
    // Workers stop and end, and the models let go of the lists, before the
    // lists go away with this object's members.
    delete m_scanRunner;
    delete m_deletionRunner;
    delete m_folderListModel;
    delete m_deletionLogModel;
}

void Form1::connectHandlers() {
    connect(Drive1, &DriveChooser::Change, this, &Form1::Drive1_Change);
    connect(Dir1, &FolderTree::Change, this, &Form1::Dir1_Change);
    connect(Dir1, &FolderTree::cannotOpen, this, &Form1::folderCannotBeOpened);
    connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &Form1::Command4_Click);
    connect(clrLog, &QPushButton::clicked, this, &Form1::clrLog_Click);
    connect(undoButton, &QPushButton::clicked, this, &Form1::undoButton_Click);
    connect(cancelButton, &QPushButton::clicked, this, &Form1::cancelButton_Click);
    connect(keptButton, &QPushButton::clicked, this, &Form1::showKeptFolders);
    connect(new QShortcut(QKeySequence::Cancel, this), &QShortcut::activated, this, &Form1::cancelButton_Click);
    // Between outcomes, which a big tree keeps waiting, the count goes on.
    connect(m_deletionProgressTimer, &QTimer::timeout, this, [this] {
        if (m_removal)
            showDeletionProgress();
        else if (m_putBack)
            showPutBackProgress();
    });
    // As in a file manager: Ctrl+Z takes the last Delete back, and
    // Shift+Delete deletes for good.
    connect(new QShortcut(QKeySequence::Undo, this), &QShortcut::activated, this, &Form1::undoButton_Click);
    connect(new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_Delete), this), &QShortcut::activated, this,
            &Form1::deletePermanently);
    connect(Label1, &ClickableLabel::clicked, this, &Form1::Label1_Click);
    connect(m_browser, &BrowserLauncher::failed, this, &Form1::browserFailed);
    statusLine->installEventFilter(this);
    // F5 scans the folder of the tree again, as a file manager reloads.
    connect(new QShortcut(QKeySequence::Refresh, this), &QShortcut::activated, this, [this] {
        if (!isDeleting())
            Dir1->openFolder(Dir1->Path());
    });

    connect(m_scanRunner, &ScanRunner::found, this, &Form1::showFound);
    connect(m_scanRunner, &ScanRunner::finished, this, &Form1::scanFinished);
    connect(m_progressTimer, &QTimer::timeout, this, &Form1::showScanProgress);
    connect(m_pace, &QTimer::timeout, this, &Form1::paceWork);
    connect(m_deletionRunner, &DeletionRunner::deleted, this, &Form1::applyDeletions);
    connect(m_deletionRunner, &DeletionRunner::putBack, this, &Form1::applyPutBacks);
    connect(m_deletionRunner, &DeletionRunner::finished, this, &Form1::deletionFinished);
    // Marks change by the user's hand, by "Mark All" and as entries leave.
    connect(m_folderListModel, &QAbstractItemModel::dataChanged, this, &Form1::showStatus);
    connect(m_folderListModel, &QAbstractItemModel::rowsRemoved, this, &Form1::showStatus);
    connect(m_folderListModel, &QAbstractItemModel::modelReset, this, &Form1::showStatus);
}

cleaner::FileSystem& Form1::fileSystem() {
    return m_fileSystem ? *m_fileSystem : cleaner::systemFileSystem();
}

bool Form1::isBusy() const {
    return isScanning() || isDeleting();
}

// A scan lasts until its last found folder is in the list.
bool Form1::isScanning() const {
    return m_scanRunner->isRunning() || m_finishedScan || !m_found.empty();
}

// A deletion, or an Undo, lasts until its last outcome is applied.
bool Form1::isDeleting() const {
    return m_removal.has_value() || m_putBack.has_value();
}

// The user picked a drive: the tree moves to its root, which starts a scan
// of the whole drive.
void Form1::Drive1_Change() {
    Dir1->setPath(Drive1->rootPath());
}

// The tree's folder changed: it becomes the main folder, and a new scan
// replaces the list. A scan still running is cancelled; nothing it found
// reaches the list.
void Form1::Dir1_Change() {
    m_mainFolderPath = pathToDisk(Dir1->Path());
    dropScanResults();
    m_folderList.Clear();
    m_deletedFolders.clear();
    watchMainFolder(); // before it is looked at, so that no change goes unnoticed
    m_mainFolderIdentity = fileSystem().identify(m_mainFolderPath);
    Drive1->showDriveOf(Dir1->Path());
    m_scanRunner->start(fileSystem(), m_mainFolderPath);
    m_progressTimer->start();
    showScanProgress();
    updateControls();
}

// "Delete": the marked folders move to the Trash, in list order, on a
// worker thread; with Shift held, they are deleted for good.
void Form1::Command2_Click() {
    if (QGuiApplication::keyboardModifiers() & Qt::ShiftModifier)
        deletePermanently();
    else if (!isBusy() && m_folderList.SelCount() == 0)
        setStatus("Nothing is marked.");
    else if (!isBusy())
        startRemoval(true);
}

void Form1::deletePermanently() {
    if (isBusy())
        return;
    const int marked = m_folderList.SelCount();
    if (marked == 0) {
        setStatus("Nothing is marked.");
        return;
    }
    askToDeletePermanently("deletePermanently",
                           "Delete " + plural(marked, "folder", "folders") + " permanently? This cannot be undone.", {},
                           new QPushButton("Cancel"), [] {});
}

// A question whose one way on is "Delete Permanently", which deletes the
// marked entries for good; `other` (the default) does `otherwise` instead.
void Form1::askToDeletePermanently(const QString& name, const QString& text, const QString& more,
                                   QPushButton* other, std::function<void()> otherwise) {
    auto* box = new QMessageBox(QMessageBox::Warning, windowTitle(), text, QMessageBox::NoButton, this);
    box->setObjectName(name);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setInformativeText(more);
    QPushButton* permanently = box->addButton("Delete Permanently", QMessageBox::DestructiveRole);
    box->addButton(other, QMessageBox::RejectRole);
    box->setDefaultButton(other);
    box->setEscapeButton(other);
    connect(box, &QMessageBox::finished, this, [this, box, permanently, otherwise = std::move(otherwise)] {
        if (box->clickedButton() == permanently && !isBusy() && m_folderList.SelCount() > 0)
            startRemoval(false);
        else
            otherwise();
    });
    box->open();
}

void Form1::startRemoval(bool toTrash) {
    m_removal.emplace(m_folderList, m_deletionLog);
    m_removalToTrash = toTrash;
    if (toTrash)
        m_removal->holdWhereNoTrash(); // asked about once the run is over
    std::vector<cleaner::RemovalRequest> requests = m_removal->requests();
    m_removalTotal = m_folderList.WillGoCount();
    m_cancelled = false;
    m_deletionProgressTimer->start();
    m_deletionRunner->start(fileSystem(), m_mainFolderPath, m_mainFolderIdentity, std::move(requests),
                            m_deletedFolders, toTrash ? &trashCan() : nullptr);
    showDeletionProgress();
    updateControls();
    cancelButton->setFocus(); // the list is locked meanwhile
}

// Root's Trash is not the one the user's file manager shows: the window
// says which it is.
QString Form1::trashName() const {
    return ::geteuid() == 0 ? "root's Trash" : "the Trash";
}

// The Trash of the user this program runs as: root's own, when it runs as
// root, whatever $HOME says.
cleaner::TrashCan& Form1::trashCan() {
    if (!m_trash) {
        const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
        m_trash = std::make_unique<cleaner::TrashCan>(
            fileSystem(), cleaner::userHomeFolder(),
            dataHome.isEmpty() ? std::nullopt : std::optional<std::string>(dataHome.toStdString()));
    }
    return *m_trash;
}

void Form1::Command3_Click() {
    cleaner::ListBoxSelAll(m_folderList);
}

void Form1::Command4_Click() {
    cleaner::ListBoxUnmarkAll(m_folderList);
}

void Form1::clrLog_Click() {
    m_deletionLog.Clear();
}

// Puts back, newest first, every folder the last Delete moved to the
// Trash: only those, by the names this window gave them there.
void Form1::undoButton_Click() {
    if (isBusy() || m_undoable.empty())
        return;
    m_putBack.emplace(m_folderList, m_deletionLog, m_deletedFolders, std::move(m_undoable.back()));
    m_undoable.pop_back();
    m_putBackTotal = static_cast<int>(m_putBack->items().size());
    m_cancelled = false;
    m_deletionRunner->startPuttingBack(trashCan(), m_putBack->items());
    m_deletionProgressTimer->start();
    showPutBackProgress();
    updateControls();
    cancelButton->setFocus();
}

void Form1::cancelButton_Click() {
    if (!isDeleting() || m_cancelled)
        return;
    m_cancelled = true;
    m_deletionRunner->cancel();
    setStatus("Cancelling: stopping after the folder at hand.");
}

void Form1::showPutBackProgress() {
    setStatus("Putting back: " + count(m_putBack->putBackCount() + m_putBack->notPutBackCount()) + " of " +
              plural(m_putBackTotal, "folder", "folders") + " done");
}

void Form1::Label1_Click() {
    m_browser->open(QUrl(kMakerPage));
}

// The address goes on the clipboard, and stays on the status line, which
// can be selected, so that the user can take it to a browser by hand.
void Form1::browserFailed(const QUrl& address, const QString& why) {
    const QString text = address.toString();
    QGuiApplication::clipboard()->setText(text);
    setStatus("No web browser could be started for " + text + " (" + why +
              "). The address is on the clipboard, to paste into a browser.");
}

void Form1::showFound() {
    for (std::vector<std::string>& batch : m_scanRunner->takeFound())
        m_found.push(std::move(batch));
    m_pace->start();
}

// Found folders and deletion outcomes go into the lists a chunk at a time,
// never more than a few milliseconds in one turn of the event loop, so the
// window repaints and answers between them.
void Form1::paceWork() {
    const auto deadline =
        cleaner::PacedQueue<std::string>::Clock::now() + std::chrono::milliseconds(kTurnBudgetMs);
    const bool foundDone = m_found.drainUntil(deadline, [this](std::span<std::string> chunk) {
        m_folderList.AddItems({std::make_move_iterator(chunk.begin()), std::make_move_iterator(chunk.end())});
        return chunk.size();
    });
    if (foundDone && m_finishedScan)
        showScanOutcome(*std::exchange(m_finishedScan, std::nullopt));

    if (m_removal) {
        const bool outcomesDone = m_outcomes.drainUntil(
            deadline, [this](std::span<cleaner::RemovalOutcome> chunk) { return m_removal->finish(chunk); });
        if (outcomesDone && m_deletionFinished)
            showDeletionOutcome();
        else if (!m_cancelled)
            showDeletionProgress();
    }
    if (m_putBack) {
        const bool outcomesDone = m_putBackOutcomes.drainUntil(
            deadline, [this](std::span<std::error_code> chunk) { return m_putBack->finish(chunk); });
        if (outcomesDone && m_deletionFinished)
            showPutBackOutcome();
        else if (!m_cancelled)
            showPutBackProgress();
    }
    if (!m_found.empty() || !m_outcomes.empty() || !m_putBackOutcomes.empty())
        m_pace->start();
}

// Forgets what a scan handed over that has not reached the list yet.
void Form1::dropScanResults() {
    m_found.clear();
    m_finishedScan.reset();
}

void Form1::showScanProgress() {
    setStatus("Scanning " + displayPath(m_mainFolderPath) + ": " +
              plural(m_scanRunner->foldersExamined(), "folder", "folders") + " examined");
}

void Form1::scanFinished(const cleaner::ScanOutcome& outcome) {
    m_progressTimer->stop();
    if (m_found.empty()) {
        showScanOutcome(outcome);
    } else {
        m_finishedScan = outcome; // said once the list holds everything found
        m_pace->start();
    }
}

void Form1::showScanOutcome(const cleaner::ScanOutcome& outcome) {
    if (outcome.mainFolderKept) {
        setStatus(displayPath(outcome.mainFolderKept->path) + ": " +
                  QString::fromStdString(outcome.mainFolderKept->reason) + ", so nothing in it is listed.");
        updateControls();
        return;
    }
    const QString found = plural(outcome.foldersListed, "empty folder", "empty folders");
    QString text;
    if (outcome.status == cleaner::ScanOutcome::Status::Stopped)
        text = "Found " + found + ", then the scan stopped: " + displayPath(outcome.stoppedAt) +
               " could not be read (" + QString::fromStdString(outcome.reason.message()) +
               "). Later folders were not examined.";
    else
        text = "Found " + found + " in " + displayPath(m_mainFolderPath) + ".";
    if (outcome.kept.empty()) {
        setStatus(text);
    } else {
        const std::size_t kept = outcome.kept.size();
        text += " " + plural(kept, "folder that the system or a program needs was left out.",
                             "folders that the system or a program needs were left out.");
        m_keptFolders = outcome.kept;
        setStatus(text, keptFoldersTip(outcome.kept));
    }
    updateControls();
}

// The tree could not show a folder (gone, or a drive that can't be read):
// it stays where it was, and the list is emptied as a new scan would.
void Form1::folderCannotBeOpened(const QString& path, const QString& reason) {
    m_scanRunner->cancel();
    dropScanResults();
    m_progressTimer->stop();
    m_folderList.Clear();
    m_deletedFolders.clear();
    m_mainFolderPath.clear();
    stopWatchingMainFolder();
    setStatus("Cannot open " + displayPath(pathToDisk(path)) + ": " + reason +
              ". The list was cleared.");
    updateControls();
}

// Outcomes come in list order, one for each marked entry.
void Form1::applyDeletions(const std::vector<cleaner::RemovalOutcome>& outcomes) {
    m_outcomes.push(outcomes);
    m_pace->start();
}

void Form1::deletionFinished() {
    m_deletionFinished = true;
    m_pace->start();
}

void Form1::applyPutBacks(const std::vector<std::error_code>& outcomes) {
    m_putBackOutcomes.push(outcomes);
    m_pace->start();
}

// Counted by the folders gone from the disk (or moved), as they go.
void Form1::showDeletionProgress() {
    if (m_cancelled)
        return;
    setStatus(QString(m_removalToTrash ? "Moving to the Trash: " : "Deleting: ") +
              count(m_deletionRunner->foldersGone()) + " of " + plural(m_removalTotal, "folder", "folders") +
              " done");
}

void Form1::showDeletionOutcome() {
    // The marked folders took everything beneath them along: the count in
    // all says how much went from the disk.
    const int waiting = m_removal->waitingForTrash();
    const QString notDeleted = count(m_removal->notDeletedCount()) + " not deleted" +
                               (m_removal->notDeletedCount() > 0 ? " (the log says why)." : ".");
    if (!m_removalToTrash) {
        setStatus(plural(m_removal->deletedCount(), "marked folder", "marked folders") + " deleted, " +
                  plural(m_removal->foldersRemoved(), "folder", "folders") + " in all, " + notDeleted);
    } else {
        QString text =
            waiting > 0 && m_removal->deletedCount() + m_removal->notDeletedCount() == 0
                ? "No Trash can take the " + plural(waiting, "marked folder.", "marked folders.")
                : plural(m_removal->deletedCount(), "marked folder", "marked folders") + " moved to " + trashName() +
                      ", " + plural(m_removal->foldersRemoved(), "folder", "folders") + " in all, " + notDeleted;
        std::vector<cleaner::TrashedItem> moved = m_deletionRunner->takeTrashed();
        if (!moved.empty()) {
            m_undoable.push_back(
                cleaner::TrashedDeletion{std::move(moved), m_removal->wentToTrash(), m_folderList.generation()});
            text += " Undo (Ctrl+Z) puts them back.";
        }
        setStatus(text);
    }
    if (m_cancelled)
        setStatus("Cancelled: " + m_statusText + " The rest stays listed and marked.");
    const bool removedAny = m_removal->foldersRemoved() > 0;
    const std::vector<std::string> whyNoTrash = m_removal->whyNoTrash();
    m_removal.reset();
    m_deletionFinished = false;
    m_deletionProgressTimer->stop();
    updateControls();
    List1->setFocus(); // back where the user marks, not into the log
    if (removedAny)
        Dir1->reload(); // it never watches the disk, so it still shows what went
    checkMainFolder(); // it may have gone while the deletion ran
    if (waiting > 0 && !m_cancelled && m_folderList.SelCount() > 0) // still listed: the main folder stayed
        askAboutFoldersWithoutTrash(waiting, whyNoTrash);
}

// Folders no Trash could take are never deleted for good unasked: one
// question for them all, which names how many, where and why.
void Form1::askAboutFoldersWithoutTrash(int waiting, const std::vector<std::string>& why) {
    QStringList reasons;
    for (const std::string& reason : why)
        reasons << QString::fromStdString(reason);
    askToDeletePermanently(
        "noTrash",
        plural(waiting, "marked folder can't", "marked folders can't") + " be moved to the Trash: " +
            reasons.join("; ") + ".",
        "Delete them permanently? This cannot be undone. Skipped folders stay listed and marked.",
        new QPushButton("Skip"), [this, waiting] {
            setStatus(m_statusText + " " +
                      plural(waiting, "folder that no Trash could take was skipped; it stays marked.",
                             "folders that no Trash could take were skipped; they stay marked."));
        });
}

void Form1::showPutBackOutcome() {
    const int notPutBack = m_putBack->notPutBackCount();
    const std::size_t listed = m_putBack->entriesReturned();
    const QString text =
        plural(m_putBack->putBackCount(), "folder", "folders") + " put back from " + trashName() +
        (listed > 0 ? ", " + plural(listed, "entry", "entries") + " back in the list" : QString()) +
        (notPutBack > 0 ? "; " + count(notPutBack) + " not put back (the log says why)." : QString("."));
    const bool listIsBehind = m_putBack->listIsBehind();
    if (cleaner::TrashedDeletion rest = m_putBack->rest(); !rest.items.empty())
        m_undoable.push_back(std::move(rest)); // cancelled: Undo goes on from there
    m_putBack.reset();
    m_deletionFinished = false;
    m_deletionProgressTimer->stop();
    setStatus((m_cancelled ? "Cancelled: " : "") + text +
              (m_undoable.empty() || !m_cancelled ? "" : " Undo puts back the rest."));
    updateControls();
    List1->setFocus();
    // The list was filled anew since that Delete: a scan shows what came
    // back, and reads the tree afresh as it opens the folder again.
    if (listIsBehind && !m_mainFolderPath.empty())
        Dir1->openFolder(Dir1->Path());
    else
        Dir1->reload();
}

// Every folder the last scan left out, in a box of its own that scrolls,
// however many there are: the tooltip has room for only the first ones.
void Form1::showKeptFolders() {
    if (m_keptFolders.empty())
        return;
    QStringList lines;
    for (const cleaner::KeptFolder& kept : m_keptFolders)
        lines << keptFolderLine(kept);
    auto* box = new QMessageBox(QMessageBox::Information, windowTitle(), m_statusText, QMessageBox::Close, this);
    box->setObjectName("keptFolders");
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setInformativeText(plural(m_keptFolders.size(), "folder was left out", "folders were left out") +
                            ": \"Show Details...\" lists them all.");
    box->setDetailedText(lines.join('\n'));
    box->open();
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == statusLine && event->type() == QEvent::MouseButtonRelease)
        showKeptFolders();
    return QMainWindow::eventFilter(watched, event);
}

// The main folder is gone, or its path leads to another folder now (its
// drive was unmounted, say): nothing in the list can be deleted any more.
void Form1::checkMainFolder() {
    if (m_mainFolderPath.empty() || isDeleting())
        return;
    const auto now = fileSystem().identify(m_mainFolderPath);
    if (now && m_mainFolderIdentity && now->sameEntryAs(*m_mainFolderIdentity))
        return;
    if (!now && !m_mainFolderIdentity)
        return; // it could not be opened from the start; the scan said so

    const bool wasScanning = isScanning();
    m_scanRunner->cancel();
    dropScanResults();
    m_progressTimer->stop();
    stopWatchingMainFolder();
    m_folderList.Clear();
    m_deletedFolders.clear();
    const QString gone = displayPath(m_mainFolderPath);
    const QString gonePath = pathFromDisk(m_mainFolderPath);
    m_mainFolderPath.clear();
    m_mainFolderIdentity.reset();
    const QString shown = nearestExistingFolder(gonePath);
    Dir1->setPathQuietly(shown);
    Drive1->showDriveOf(shown);
    setStatus(QString(wasScanning ? "The scan stopped: " : "") + gone +
              " is no longer there (it was removed, or its drive was unmounted). The list was cleared.");
    updateControls();
}

// The main folder is looked at again only when something may have happened
// to it or to the way to it: a window left alone does no file-system work.
void Form1::watchMainFolder() {
    stopWatchingMainFolder();
    m_wayWatch = std::make_unique<cleaner::WayWatch>(m_mainFolderPath);
    if (m_wayWatch->inotifyHandle() >= 0) {
        m_wayEvents = new QSocketNotifier(m_wayWatch->inotifyHandle(), QSocketNotifier::Read, this);
        connect(m_wayEvents, &QSocketNotifier::activated, this, [this] {
            if (m_wayWatch && m_wayWatch->takeEvents())
                checkMainFolder();
        });
    }
    if (m_wayWatch->mountTableHandle() >= 0) {
        m_mountTableEvents =
            new QSocketNotifier(m_wayWatch->mountTableHandle(), QSocketNotifier::Exception, this);
        connect(m_mountTableEvents, &QSocketNotifier::activated, this, &Form1::checkMainFolder);
    }
}

void Form1::stopWatchingMainFolder() {
    // Called from the notifiers' own signals too: they go once that is over.
    for (QSocketNotifier* notifier :
         {std::exchange(m_wayEvents, nullptr), std::exchange(m_mountTableEvents, nullptr)})
        if (notifier) {
            notifier->setEnabled(false);
            notifier->deleteLater();
        }
    m_wayWatch.reset();
}

// While a scan runs the list can't be marked or deleted from; while folders
// are being deleted nothing may change the list.
void Form1::updateControls() {
    const bool scanning = isScanning();
    const bool deleting = isDeleting();
    Command2->setEnabled(!scanning && !deleting);
    Command3->setEnabled(!scanning && !deleting);
    Command4->setEnabled(!scanning && !deleting);
    undoButton->setVisible(!m_undoable.empty() && !deleting);
    undoButton->setEnabled(!scanning && !deleting);
    cancelButton->setVisible(deleting);
    List1->setEnabled(!deleting);
    Drive1->setEnabled(!deleting);
    Dir1->setEnabled(!deleting);
}

void Form1::setStatus(const QString& text) {
    setStatus(text, {});
}

// `details` go under the text in the tooltip, which also holds the whole
// text: the line itself is cut at the window's edge.
void Form1::setStatus(const QString& text, const QString& details) {
    if (details.isEmpty())
        m_keptFolders.clear(); // what the status line says no longer is of them
    keptButton->setVisible(!m_keptFolders.empty());
    m_statusText = text;
    m_statusDetails = details;
    showStatus();
}

// The status text, and how many entries are marked while any are, so that
// the user knows what "Delete" will take before pressing it.
void Form1::showStatus() {
    QString text = m_statusText;
    const int marked = m_folderList.SelCount();
    if (marked > 0 && !isDeleting())
        text += " " + count(marked) + " of " + plural(m_folderList.ListCount(), "folder", "folders") + " marked; " +
                plural(m_folderList.WillGoCount(), "folder will go.", "folders will go.");
    statusLine->setText(text);
    statusLine->setToolTip(m_statusDetails.isEmpty() ? text : text + "\n\n" + m_statusDetails);
}
