// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cleaner/empty_folder_scan.h"

#include <QObject>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class QTimer;

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
    // The folders found since the last call, in list order, handed over
    // whole rather than copied: a batch can hold a million paths.
    std::vector<std::vector<std::string>> takeFound() { return std::exchange(m_found, {}); }

signals:
    // More folders were found: takeFound() has them.
    void found();
    void finished(const cleaner::ScanOutcome& outcome);

private:
    struct Job;
    // Takes what the workers handed over; queued from a worker to this thread.
    Q_INVOKABLE void deliver();
    // The same a little later, so that batches found meanwhile come along.
    Q_INVOKABLE void deliverSoon();
    void retire(std::uint64_t generation);

    QTimer* m_gathering = nullptr; // while found batches are gathered for one delivery
    std::vector<std::vector<std::string>> m_found; // of the current scan, not yet taken
    std::uint64_t m_generation = 0;
    Job* m_current = nullptr;
    std::vector<std::unique_ptr<Job>> m_jobs; // running, or cancelled and winding down
};
