// SPDX-License-Identifier: GPL-3.0-or-later
#include "scan_runner.h"

#include "cleaner/hand_over.h"

#include <QMetaObject>
#include <QTimer>

#include <algorithm>
#include <thread>

struct ScanRunner::Job {
    std::uint64_t generation = 0;
    std::unique_ptr<cleaner::EmptyFolderScan> scan;
    cleaner::HandOver<std::vector<std::string>> found;
    cleaner::HandOver<cleaner::ScanOutcome> outcome; // put once, after the last batch
    std::jthread thread;                             // last, so it is joined before the rest goes
};

namespace {

// Found folders are shown at most this often. Each showing lays out and
// repaints the list; shown batch by batch (one per subfolder of the main
// folder that holds any), the window's thread took as much processor time
// as the scan it was showing, and slowed it down by as much.
constexpr int kGatherMs = 50;

} // namespace

ScanRunner::ScanRunner(QObject* parent) : QObject(parent), m_gathering(new QTimer(this)) {
    m_gathering->setSingleShot(true);
    m_gathering->setInterval(kGatherMs);
    connect(m_gathering, &QTimer::timeout, this, &ScanRunner::deliver);
}

ScanRunner::~ScanRunner() {
    for (auto& job : m_jobs)
        job->thread.request_stop();
    m_jobs.clear(); // joins
}

void ScanRunner::start(cleaner::FileSystem& fileSystem, const std::string& mainFolderPath) {
    cancel();
    m_found.clear();
    auto job = std::make_unique<Job>();
    job->generation = ++m_generation;
    job->scan = std::make_unique<cleaner::EmptyFolderScan>(fileSystem, mainFolderPath);
    m_current = job.get();

    // The worker only reads the disk; everything it finds waits in the job
    // until this thread takes it, and is dropped if a newer scan has started
    // meanwhile. The wake-up carries no data of its own.
    Job* worker = job.get();
    job->thread = std::jthread([this, worker](std::stop_token stop) {
        const auto wake = [this](const char* how) { QMetaObject::invokeMethod(this, how, Qt::QueuedConnection); };
        const cleaner::ScanOutcome outcome = worker->scan->run(
            [&](std::vector<std::string>&& batch) {
                worker->found.put(std::move(batch));
                wake("deliverSoon");
            },
            stop);
        worker->outcome.put(outcome);
        wake("deliver");
    });
    m_jobs.push_back(std::move(job));
}

void ScanRunner::deliverSoon() {
    if (!m_gathering->isActive())
        m_gathering->start();
}

void ScanRunner::deliver() {
    std::vector<std::uint64_t> generations;
    for (const auto& job : m_jobs)
        generations.push_back(job->generation);
    // A slot below may start a new scan; look each job up afresh.
    for (const std::uint64_t generation : generations) {
        const auto it = std::find_if(m_jobs.begin(), m_jobs.end(),
                                     [generation](const auto& job) { return job->generation == generation; });
        if (it == m_jobs.end())
            continue;
        Job* job = it->get();
        // The outcome first: once it is there, every batch before it is too.
        std::vector<cleaner::ScanOutcome> outcome = job->outcome.takeAll();
        std::vector<std::vector<std::string>> batches = job->found.takeAll();
        if (job == m_current && !batches.empty()) {
            for (std::vector<std::string>& batch : batches)
                m_found.push_back(std::move(batch));
            emit found();
        }
        if (outcome.empty())
            continue;
        const bool current = job == m_current;
        retire(generation);
        if (current)
            emit finished(outcome.front());
    }
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
