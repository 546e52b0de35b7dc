// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cleaner/empty_folder_scan.h"

#include <QObject>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace cleaner {
class FileSystem;
}

// Runs the empty-folder scan on a worker thread so the window stays alive.
//
// Only the latest scan counts: starting one cancels the one before, and
// whatever the cancelled scan still had under way never reaches found() or
// finished(). Signals are emitted on the thread that owns the runner.
class ScanRunner final : public QObject {
    Q_OBJECT
public:
    explicit ScanRunner(QObject* parent = nullptr);
    ~ScanRunner() override; // cancels, and waits for the workers to end

    void start(cleaner::FileSystem& fileSystem, const std::string& mainFolderPath);
    void cancel();
    bool isRunning() const { return m_current != nullptr; }
    // Folders the running scan has examined so far.
    std::uint64_t foldersExamined() const;

signals:
    void found(const std::vector<std::string>& folders);
    void finished(const cleaner::ScanOutcome& outcome);

private:
    struct Job;
    // Takes what the workers handed over; queued from a worker to this thread.
    Q_INVOKABLE void deliver();
    void retire(std::uint64_t generation);

    std::uint64_t m_generation = 0;
    Job* m_current = nullptr;
    std::vector<std::unique_ptr<Job>> m_jobs; // running, or cancelled and winding down
};
