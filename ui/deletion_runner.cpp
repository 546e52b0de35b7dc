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
                           std::vector<cleaner::RemovalRequest> requests,
                           cleaner::DeletedFolders& deletedFolders) {
    if (m_thread.joinable())
        m_thread.join(); // the previous run has finished: it said so
    m_running = true;
    m_thread = std::jthread([this, &fileSystem, &deletedFolders, mainFolderPath = std::move(mainFolderPath),
                             requests = std::move(requests)](std::stop_token stop) {
        cleaner::FolderRemover remover(fileSystem, mainFolderPath, deletedFolders);
        using Clock = std::chrono::steady_clock;
        constexpr auto kHandOverEvery = std::chrono::milliseconds(50);
        std::vector<cleaner::RemovalOutcome> batch;
        auto lastHandOver = Clock::now();
        const auto handOver = [this, &batch, &lastHandOver] {
            auto outcomes = std::make_shared<std::vector<cleaner::RemovalOutcome>>(std::move(batch));
            batch.clear();
            lastHandOver = Clock::now();
            QMetaObject::invokeMethod(
                this, [this, outcomes] { emit deleted(*outcomes); }, Qt::QueuedConnection);
        };
        for (const cleaner::RemovalRequest& request : requests) {
            if (stop.stop_requested())
                break;
            batch.push_back(remover.DeleteFolder(request));
            if (Clock::now() - lastHandOver >= kHandOverEvery)
                handOver();
        }
        if (!batch.empty())
            handOver();
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_running = false;
                emit finished();
            },
            Qt::QueuedConnection);
    });
}
