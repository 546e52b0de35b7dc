// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cleaner/folder_remover.h"
#include "cleaner/hand_over.h"
#include "cleaner/removal_outcome.h"

#include <QObject>

#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace cleaner {
class FileSystem;
}

// Deletes folders one after another on a worker thread, so a long run keeps
// the window painted. Outcomes come back in order, a batch at a time, on the
// thread that owns the runner.
class DeletionRunner final : public QObject {
    Q_OBJECT
public:
    explicit DeletionRunner(QObject* parent = nullptr);
    ~DeletionRunner() override; // stops after the folder at hand, and waits

    // Deletes beneath `mainFolderPath`; `deleted` is the window's record
    // and must be left alone until finished().
    // `mainFolder`, when known, is the folder the list was made of.
    void start(cleaner::FileSystem& fileSystem, std::string mainFolderPath,
               std::optional<cleaner::EntryStatus> mainFolder, std::vector<cleaner::RemovalRequest> requests,
               cleaner::DeletedFolders& deleted);
    bool isRunning() const { return m_running; }

signals:
    void deleted(const std::vector<cleaner::RemovalOutcome>& outcomes);
    void finished();

private:
    Q_INVOKABLE void deliver();

    bool m_running = false;
    cleaner::HandOver<std::vector<cleaner::RemovalOutcome>> m_outcomes;
    cleaner::HandOver<bool> m_done;
    std::jthread m_thread; // last, so it is joined before the rest goes
};
