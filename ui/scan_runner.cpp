// SPDX-License-Identifier: GPL-3.0-or-later
#include "scan_runner.h"

#include <QMetaObject>

#include <algorithm>
#include <thread>

struct ScanRunner::Job {
    std::uint64_t generation = 0;
    std::unique_ptr<cleaner::EmptyFolderScan> scan;
    std::jthread thread; // last, so it is joined before the scan goes
};

ScanRunner::ScanRunner(QObject* parent) : QObject(parent) {}

ScanRunner::~ScanRunner() {
    for (auto& job : m_jobs)
        job->thread.request_stop();
    m_jobs.clear(); // joins
}

void ScanRunner::start(cleaner::FileSystem& fileSystem, const std::string& mainFolderPath) {
    cancel();
    auto job = std::make_unique<Job>();
    job->generation = ++m_generation;
    job->scan = std::make_unique<cleaner::EmptyFolderScan>(fileSystem, mainFolderPath);
    m_current = job.get();

    // The worker only reads the disk; everything it finds is handed to this
    // thread, which drops it if a newer scan has started meanwhile.
    const std::uint64_t generation = job->generation;
    cleaner::EmptyFolderScan* scan = job->scan.get();
    job->thread = std::jthread([this, generation, scan](std::stop_token stop) {
        const auto handOver = [this, generation](std::vector<std::string>&& batch) {
            auto folders = std::make_shared<std::vector<std::string>>(std::move(batch));
            QMetaObject::invokeMethod(
                this,
                [this, generation, folders] {
                    if (generation == m_generation && m_current)
                        emit found(*folders);
                },
                Qt::QueuedConnection);
        };
        const cleaner::ScanOutcome outcome = scan->run(handOver, stop);
        QMetaObject::invokeMethod(
            this,
            [this, generation, outcome] {
                const bool current = generation == m_generation && m_current;
                retire(generation);
                if (current)
                    emit finished(outcome);
            },
            Qt::QueuedConnection);
    });
    m_jobs.push_back(std::move(job));
}

void ScanRunner::cancel() {
    if (m_current)
        m_current->thread.request_stop();
    m_current = nullptr;
}

std::uint64_t ScanRunner::foldersExamined() const {
    return m_current ? m_current->scan->foldersExamined() : 0;
}

// The job's worker has handed over its last result and is ending.
void ScanRunner::retire(std::uint64_t generation) {
    const auto it = std::find_if(m_jobs.begin(), m_jobs.end(),
                                 [generation](const auto& job) { return job->generation == generation; });
    if (it == m_jobs.end())
        return;
    if (m_current == it->get())
        m_current = nullptr;
    m_jobs.erase(it); // joins a thread that is returning
}
