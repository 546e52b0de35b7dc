// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cleaner/deletion_log.h"
#include "cleaner/empty_folder_scan.h"
#include "cleaner/file_system.h"
#include "cleaner/folder_list.h"
#include "cleaner/marking.h"
#include "cleaner/paced_queue.h"
#include "cleaner/put_back.h"
#include "cleaner/trash_can.h"
#include "cleaner/way_watch.h"

#include <QMainWindow>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

class BrowserLauncher;
class ClickableLabel;
class DeletionLogModel;
class DeletionRunner;
class DriveChooser;
class FolderListModel;
class FolderTree;
class PathListView;
class QLabel;
class QPushButton;
class QScrollArea;
class QSocketNotifier;
class QTimer;
class ScanRunner;

// The program's one window. It owns the folder list and the deletion log,
// hands scans and deletions to the cleaning logic on worker threads, and
// keeps a status line under its controls that says what is going on.
class Form1 final : public QMainWindow {
    Q_OBJECT
public:
    // `fileSystem` is for tests; by default the real disk is used, set up
    // the first time it is needed.
    explicit Form1(std::unique_ptr<cleaner::FileSystem> fileSystem = nullptr, QWidget* parent = nullptr);
    ~Form1() override;

    // The controls, in tab order, then the labels.
    PathListView* List1 = nullptr;
    DriveChooser* Drive1 = nullptr;
    FolderTree* Dir1 = nullptr;
    QPushButton* Command2 = nullptr;  // "Delete"
    QPushButton* Command3 = nullptr;  // "Mark All"
    QPushButton* Command4 = nullptr;  // "Unmark All"
    ClickableLabel* Label1 = nullptr; // the web link
    PathListView* List2 = nullptr;
    QPushButton* clrLog = nullptr;
    QPushButton* keptButton = nullptr;   // "Left Out...", once a scan left folders out
    QPushButton* undoButton = nullptr;   // "Undo", once a Delete moved folders to the Trash
    QPushButton* cancelButton = nullptr; // "Cancel", while a Delete or an Undo runs
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* statusLine = nullptr;

    const cleaner::FolderList& folderList() const { return m_folderList; }
    const cleaner::DeletionLog& deletionLog() const { return m_deletionLog; }
    const std::string& mainFolderPath() const { return m_mainFolderPath; }
    bool isBusy() const;
    // Makes the window fit in `room`, as it does on its screen when shown.
    void fitInto(const QSize& room);

public slots:
    void Drive1_Change();
    void Dir1_Change();
    void Command2_Click();
    // Shift+Delete, or Shift with a click on "Delete": for good, once asked.
    void deletePermanently();
    // "Undo" and Ctrl+Z: puts back what the last Delete moved to the Trash.
    void undoButton_Click();
    // "Cancel" and Escape: a running Delete or Undo stops after the folder at
    // hand; what is left stays listed and marked (or in the Trash).
    void cancelButton_Click();
    void Command3_Click();
    void Command4_Click();
    void clrLog_Click();
    void Label1_Click();

private:
    void createControls();
    void nameForAssistiveTechnology();
    void connectHandlers();
    cleaner::FileSystem& fileSystem();

    bool isScanning() const;
    bool isDeleting() const;
    void showFound();
    void paceWork();
    void dropScanResults();
    void scanFinished(const cleaner::ScanOutcome& outcome);
    void showScanOutcome(const cleaner::ScanOutcome& outcome);
    void showScanProgress();
    void folderCannotBeOpened(const QString& path, const QString& reason);
    void browserFailed(const QUrl& address, const QString& why);
    void startRemoval(bool toTrash);
    cleaner::TrashCan& trashCan();
    QString trashName() const;
    void askAboutFoldersWithoutTrash(int waiting, const std::vector<std::string>& why);
    void askToDeletePermanently(const QString& name, const QString& text, const QString& more, QPushButton* other,
                                std::function<void()> otherwise);
    void applyDeletions(const std::vector<cleaner::RemovalOutcome>& outcomes);
    void applyPutBacks(const std::vector<std::error_code>& outcomes);
    void showPutBackOutcome();
    void showPutBackProgress();
    void deletionFinished();
    void showDeletionProgress();
    void showDeletionOutcome();
    void watchMainFolder();
    void stopWatchingMainFolder();
    void checkMainFolder();
    void updateControls();
    void setStatus(const QString& text);
    void setStatus(const QString& text, const QString& details);
    void showStatus();
    void showKeptFolders();
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

    QString m_statusText;
    QString m_statusDetails; // for the tooltip, below the text
    std::vector<cleaner::KeptFolder> m_keptFolders; // those the status line tells of
    cleaner::FolderList m_folderList;
    cleaner::DeletionLog m_deletionLog;
    std::string m_mainFolderPath;
    cleaner::DeletedFolders m_deletedFolders; // since the list was last filled
    std::unique_ptr<cleaner::FileSystem> m_fileSystem;

    QScrollArea* m_clientView = nullptr; // holds the controls at their places
    FolderListModel* m_folderListModel = nullptr;
    DeletionLogModel* m_deletionLogModel = nullptr;
    ScanRunner* m_scanRunner = nullptr;
    DeletionRunner* m_deletionRunner = nullptr;
    BrowserLauncher* m_browser = nullptr;
    QTimer* m_progressTimer = nullptr;
    std::unique_ptr<cleaner::WayWatch> m_wayWatch; // while there is a main folder
    QSocketNotifier* m_wayEvents = nullptr;
    QSocketNotifier* m_mountTableEvents = nullptr;
    std::optional<cleaner::EntryStatus> m_mainFolderIdentity; // the folder scanned
    std::optional<cleaner::MarkedEntryRemoval> m_removal;     // while a deletion lasts
    bool m_removalToTrash = false;
    int m_removalTotal = 0;
    std::unique_ptr<cleaner::TrashCan> m_trash;       // made at the first Delete
    std::vector<cleaner::TrashedDeletion> m_undoable; // the Deletes that moved folders, newest last
    std::optional<cleaner::PutBackRun> m_putBack;     // while an Undo lasts
    int m_putBackTotal = 0;
    bool m_cancelled = false; // the running Delete or Undo was told to stop
    QTimer* m_deletionProgressTimer = nullptr;
    bool m_deletionFinished = false; // the worker is done; outcomes may still wait
    QTimer* m_pace = nullptr;
    cleaner::PacedQueue<std::string> m_found{20000};
    std::optional<cleaner::ScanOutcome> m_finishedScan; // waits for m_found to drain
    cleaner::PacedQueue<cleaner::RemovalOutcome> m_outcomes{2000};
    cleaner::PacedQueue<std::error_code> m_putBackOutcomes{2000};
};
