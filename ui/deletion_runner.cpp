// SPDX-License-Identifier: GPL-3.0-or-later
#include "deletion_runner.h"

#include "cleaner/file_system.h"

#include <QMetaObject>

#include <chrono>

DeletionRunner::DeletionRunner(QObject* parent) : QObject(parent) {}

DeletionRunner::~DeletionRunner() {
    m_thread.request_stop();
    if (m_thread.joinable())
        m_thread.join();
}

void DeletionRunner::start(cleaner::FileSystem& fileSystem, std::string mainFolderPath,
                           std::optional<cleaner::EntryStatus> mainFolder,
                           std::vector<cleaner::RemovalRequest> requests,
                           cleaner::DeletedFolders& deletedFolders) {
    if (m_thread.joinable())
        m_thread.join(); // the previous run has finished: it said so
    m_running = true;
    m_thread = std::jthread([this, &fileSystem, &deletedFolders, mainFolderPath = std::move(mainFolderPath),
                             mainFolder, requests = std::move(requests)](std::stop_token stop) {
        using Clock = std::chrono::steady_clock;
        constexpr auto kHandOverEvery = std::chrono::milliseconds(50);
        cleaner::FolderRemover remover(fileSystem, mainFolderPath, deletedFolders);
        if (mainFolder)
            remover.expectMainFolder(*mainFolder);
        std::vector<cleaner::RemovalOutcome> batch;
        auto lastHandOver = Clock::now();
        // Outcomes wait in m_outcomes until this object's thread takes them;
        // the wake-up itself carries nothing.
        const auto handOver = [this, &batch, &lastHandOver] {
            m_outcomes.put(std::exchange(batch, {}));
            lastHandOver = Clock::now();
            QMetaObject::invokeMethod(this, "deliver", Qt::QueuedConnection);
        };
        for (const cleaner::RemovalRequest& request : requests) {
            if (stop.stop_requested())
                break;
            batch.push_back(remover.DeleteFolder(request));
            if (Clock::now() - lastHandOver >= kHandOverEvery)
                handOver();
        }
        m_done.put(true);
        handOver();
    });
}

void DeletionRunner::deliver() {
    // Done first: once it is there, every outcome before it is too.
    const bool done = !m_done.takeAll().empty();
    for (const std::vector<cleaner::RemovalOutcome>& outcomes : m_outcomes.takeAll())
        if (!outcomes.empty())
            emit deleted(outcomes);
    if (done) {
        m_running = false;
        emit finished();
    }
}
