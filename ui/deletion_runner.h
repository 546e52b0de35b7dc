// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cleaner/folder_remover.h"
#include "cleaner/hand_over.h"
#include "cleaner/removal_outcome.h"
#include "cleaner/trash_can.h"

#include <QObject>

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace cleaner {
class FileSystem;
}

// Deletes folders, moves them to the Trash or puts them back, one after
// another on a worker thread, so a long run keeps the window painted.
// Outcomes come back in order, a batch at a time, on the thread that owns
// the runner. One run at a time.
class DeletionRunner final : public QObject {
    Q_OBJECT
public:
    explicit DeletionRunner(QObject* parent = nullptr);
    ~DeletionRunner() override; // stops after the folder at hand, and waits

    // Deletes beneath `mainFolderPath`, or with a `trash` moves there;
    // `deleted` is the window's record and must be left alone until
    // finished(), as must `trash`. `mainFolder`, when known, is the folder
    // the list was made of.
    void start(cleaner::FileSystem& fileSystem, std::string mainFolderPath,
               std::optional<cleaner::EntryStatus> mainFolder, std::vector<cleaner::RemovalRequest> requests,
               cleaner::DeletedFolders& deleted, cleaner::TrashCan* trash);
    // Puts `items` back from `trash`, in the order given; both must be left
    // alone until finished().
    void startPuttingBack(cleaner::TrashCan& trash, const std::vector<cleaner::TrashedItem>& items);
    // Stops after the folder at hand; finished() follows.
    void cancel() { m_thread.request_stop(); }
    bool isRunning() const { return m_running; }
    // The folders the run has deleted or moved to the Trash so far, counted
    // as they go (a big tree is one request, and takes a while).
    std::uint64_t foldersGone() const { return m_gone.load(std::memory_order_relaxed); }
    // After finished(): what the run moved to the Trash, in the order it went.
    std::vector<cleaner::TrashedItem> takeTrashed();

signals:
    void deleted(const std::vector<cleaner::RemovalOutcome>& outcomes);
    void putBack(const std::vector<std::error_code>& outcomes);
    void finished();

private:
    Q_INVOKABLE void deliver();
    void startWorker(std::function<void(std::stop_token)> work);
    void finishWork();

    // Hands a worker's outcomes over at most every few dozen milliseconds.
    template <class Outcome>
    class Batches;

    bool m_running = false;
    std::atomic<std::uint64_t> m_gone{0};
    cleaner::HandOver<std::vector<cleaner::RemovalOutcome>> m_outcomes;
    cleaner::HandOver<std::vector<std::error_code>> m_putBackOutcomes;
    cleaner::HandOver<std::vector<cleaner::TrashedItem>> m_trashed;
    cleaner::HandOver<bool> m_done;
    std::jthread m_thread; // last, so it is joined before the rest goes
};
