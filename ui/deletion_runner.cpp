// SPDX-License-Identifier: GPL-3.0-or-later
#include "deletion_runner.h"

#include "cleaner/file_system.h"

#include <QMetaObject>

#include <chrono>
#include <functional>

namespace {

constexpr auto kHandOverEvery = std::chrono::milliseconds(50);

} // namespace

// Outcomes wait in `into` until the runner's thread takes them; the
// wake-up itself carries nothing.
template <class Outcome>
class DeletionRunner::Batches {
public:
    Batches(DeletionRunner& runner, cleaner::HandOver<std::vector<Outcome>>& into) : m_runner(runner), m_into(into) {}

    void add(Outcome outcome) {
        m_batch.push_back(std::move(outcome));
        if (Clock::now() - m_last >= kHandOverEvery)
            handOver();
    }
    void handOver() {
        m_into.put(std::exchange(m_batch, {}));
        m_last = Clock::now();
        QMetaObject::invokeMethod(&m_runner, "deliver", Qt::QueuedConnection);
    }

private:
    using Clock = std::chrono::steady_clock;
    DeletionRunner& m_runner;
    cleaner::HandOver<std::vector<Outcome>>& m_into;
    std::vector<Outcome> m_batch;
    Clock::time_point m_last = Clock::now();
};

DeletionRunner::DeletionRunner(QObject* parent) : QObject(parent) {}

DeletionRunner::~DeletionRunner() {
    m_thread.request_stop();
    if (m_thread.joinable())
        m_thread.join();
}

void DeletionRunner::startWorker(std::function<void(std::stop_token)> work) {
    if (m_thread.joinable())
        m_thread.join(); // the previous run has finished: it said so
    m_running = true;
    m_gone = 0;
    m_thread = std::jthread(std::move(work));
}

void DeletionRunner::start(cleaner::FileSystem& fileSystem, std::string mainFolderPath,
                           std::optional<cleaner::EntryStatus> mainFolder,
                           std::vector<cleaner::RemovalRequest> requests,
                           cleaner::DeletedFolders& deletedFolders, cleaner::TrashCan* trash) {
    startWorker([this, &fileSystem, &deletedFolders, trash, mainFolderPath = std::move(mainFolderPath), mainFolder,
                 requests = std::move(requests)](std::stop_token stop) {
        cleaner::FolderRemover remover(fileSystem, mainFolderPath, deletedFolders);
        if (mainFolder)
            remover.expectMainFolder(*mainFolder);
        if (trash)
            remover.moveToTrashCan(*trash);
        remover.countInto(m_gone);
        remover.stopOn(stop);
        Batches<cleaner::RemovalOutcome> batches(*this, m_outcomes);
        for (const cleaner::RemovalRequest& request : requests) {
            if (stop.stop_requested())
                break;
            batches.add(remover.DeleteFolder(request));
        }
        if (trash)
            trash->finish();
        m_trashed.put(remover.trashed());
        batches.handOver();
        finishWork();
    });
}

void DeletionRunner::startPuttingBack(cleaner::TrashCan& trash, const std::vector<cleaner::TrashedItem>& items) {
    startWorker([this, &trash, &items](std::stop_token stop) {
        Batches<std::error_code> batches(*this, m_putBackOutcomes);
        for (const cleaner::TrashedItem& item : items) {
            if (stop.stop_requested())
                break;
            batches.add(trash.putBack(item));
        }
        trash.finish();
        batches.handOver();
        finishWork();
    });
}

// Said after the last outcomes are handed over, so that whoever sees it
// finds them too.
void DeletionRunner::finishWork() {
    m_done.put(true);
    QMetaObject::invokeMethod(this, "deliver", Qt::QueuedConnection);
}

std::vector<cleaner::TrashedItem> DeletionRunner::takeTrashed() {
    std::vector<cleaner::TrashedItem> all;
    for (std::vector<cleaner::TrashedItem>& items : m_trashed.takeAll())
        all.insert(all.end(), std::make_move_iterator(items.begin()), std::make_move_iterator(items.end()));
    return all;
}

void DeletionRunner::deliver() {
    // Done first: once it is there, every outcome before it is too.
    const bool done = !m_done.takeAll().empty();
    for (const std::vector<cleaner::RemovalOutcome>& outcomes : m_outcomes.takeAll())
        if (!outcomes.empty())
            emit deleted(outcomes);
    for (const std::vector<std::error_code>& outcomes : m_putBackOutcomes.takeAll())
        if (!outcomes.empty())
            emit putBack(outcomes);
    if (done) {
        m_running = false;
        emit finished();
    }
}
