// SPDX-License-Identifier: GPL-3.0-or-later
#include "empty_folder_scan.h"

#include "folder_keeper.h"
#include "folder_list.h"
#include "fs_error.h"
#include "path.h"

#include <algorithm>
#include <functional>
#include <system_error>
#include <thread>

namespace cleaner {

namespace {

// This machine's configuration (machineConfiguration()), read on a thread
// of its own while the main folder is listed and its first folders read:
// it takes a few milliseconds of files, and nothing is judged before it
// is all read. Where no thread can be started, it is read when taken.
class MachineConfigurationRead {
public:
    MachineConfigurationRead(FileSystem& fs, const std::string& mainFolderPath,
                             const std::optional<std::string>& userHome, ConfigurationBudget& budget)
        : m_read([&fs, &mainFolderPath, &budget, this] {
              m_named = readConfiguredOutside(fs, roots, m_canonicalMain, mainFolderPath, budget);
          }) {
        std::error_code ec;
        m_canonicalMain = fs.canonicalPath(mainFolderPath, ec);
        roots = machineConfiguration(fs, m_canonicalMain, userHome);
        try {
            m_thread = std::jthread(m_read);
        } catch (const std::system_error&) {
            // read when taken
        }
    }
    // What it names beneath the main folder, once read; the budget is the
    // caller's again from then on.
    std::vector<NamedFolder> take() {
        if (m_thread.joinable())
            m_thread.join();
        else
            m_read();
        return std::move(m_named);
    }

    ConfigurationRoots roots;

private:
    std::string m_canonicalMain;
    std::vector<NamedFolder> m_named;
    std::function<void()> m_read;
    std::jthread m_thread; // last: joined before what it fills goes
};

bool contains(const std::vector<std::string>& paths, const std::string& path) {
    return std::find(paths.begin(), paths.end(), path) != paths.end();
}

} // namespace

unsigned EmptyFolderScan::defaultReadAheadThreads() noexcept {
    const unsigned processors = std::max(std::thread::hardware_concurrency(), 1U);
    return std::clamp(processors - 1, 1U, 16U);
}

EmptyFolderScan::EmptyFolderScan(FileSystem& fileSystem, std::string mainFolderPath)
    : mainFolderPath(std::move(mainFolderPath)), m_fs(fileSystem) {}

ScanOutcome EmptyFolderScan::run(const FoundFolders& found, std::stop_token stop) {
    m_outcome = ScanOutcome{};
    m_examined.store(0, std::memory_order_relaxed);
    m_path = mainFolderPath;
    m_frames.clear();
    m_pending.clear();
    m_liveCandidates = 0;
    m_named = NamedFolders{};
    m_budget = ConfigurationBudget{};
    m_budget.stop = stop;
    m_homesRead.clear();
    std::optional<MachineConfigurationRead> machine;
    if (m_readConfiguration)
        machine.emplace(m_fs, mainFolderPath, m_userHome, m_budget);

    std::error_code ec;
    OpenFolder mainFolder = m_fs.open(mainFolderPath, m_device, ec);
    if (ec) {
        fail(mainFolderPath, ec);
        m_outcome.foldersExamined = foldersExamined();
        return m_outcome;
    }
    // The main folder itself is never listed: only its subfolders matter.
    // Nothing else can be read until it is, so a main folder of many
    // subfolders has them examined on as many threads as a slow disk gets:
    // nothing yet tells whether it is one. Its listing also tells the keep
    // rule what it holds; whether it may be looked into at all is decided
    // before anything in it is used.
    const bool listedFoldersAreReal = listingsCanBeTrusted(mainFolder.get());
    ec = summariseFolder(m_fs, mainFolder.get(), m_device, SizeNeed::None, m_summary, m_scratch, m_failedName,
                         stop, m_maxThreads, listedFoldersAreReal);
    const EntryMarks mainMarks = ec ? lookUpMarks(m_fs, mainFolder.get(), "") : m_summary.marks;
    const AboveMainFolder above = lookAbove(m_fs, mainFolderPath, mainMarks, m_userHome, m_named);
    if (above.sealedBy) {
        m_outcome.mainFolderKept = KeptFolder{mainFolderPath, above.sealedBy->text()};
        return m_outcome;
    }
    if (above.shortOf) {
        fail(mainFolderPath, above.shortOf);
        return m_outcome;
    }
    m_examined.fetch_add(1, std::memory_order_relaxed);
    FolderFacts facts = above.mainFacts;
    facts.marks = m_summary.marks;
    facts.fileSystemRoot = above.fileSystemRoot;
    if (!ec)
        m_named.add(mainFolderPath, 0, lookInside(m_fs, mainFolder.get(), "", facts, ec));
    m_canonicalMain = above.canonicalMain;
    m_mainHandle = mainFolder.get();
    if (ec) {
        fail(m_failedName.empty() ? m_path : joinPath(m_path, m_failedName), ec);
    } else {
        // Descriptors can run out while threads hold folders read ahead,
        // where the walk alone, holding one per level, would not run out:
        // the subfolder being walked is then walked again without them.
        std::size_t first = 0;
        bool alone = m_threads == 0;
        for (;;) {
            ReadAhead readAhead(m_fs, m_device, listedFoldersAreReal, alone ? 0 : m_threads,
                                alone ? 0 : m_maxThreads, ReadAhead::windowFor(kDefaultReadAheadWindow), stop);
            m_readAhead = &readAhead;
            const FolderReadPtr root = readAhead.start(mainFolder.get(), m_summary.subFolders, facts, first);
            if (machine && first == 0) {
                // Nothing is judged until every file outside the tree has
                // been read: the machine's, then those of the systems and
                // homes above that it does not know, then the main folder's.
                nameConfigured(machine->take(), -1);
                nameConfigured(readConfiguredOutside(m_fs, notYetRead(above.configuration, machine->roots),
                                                     m_canonicalMain, mainFolderPath, m_budget),
                               -1);
                FolderFacts own = facts;
                own.systemRoot = own.systemRoot && !contains(machine->roots.systems, m_canonicalMain);
                own.home = own.home && !contains(machine->roots.homes, m_canonicalMain);
                for (const std::string& home : machine->roots.homes)
                    if (auto spelled = spelledBeneath(home, m_canonicalMain, mainFolderPath))
                        m_homesRead.insert(std::move(*spelled));
                nameConfigured(readConfiguredBeneath(m_fs, kNoFolder, mainFolderPath, mainFolderPath, own,
                                                     m_canonicalMain, mainFolderPath, m_budget),
                               0);
            }
            const Walked walked = ShowSubFolders(root, first, found, stop);
            m_frames.clear();
            m_readAhead = nullptr;
            if (walked.result != Walked::OutOfDescriptors || alone)
                break;
            first = walked.subFolder;
            alone = true;
        }
    }
    m_frames.clear();
    m_pending.clear();
    m_mainHandle = kNoFolder;
    machine.reset(); // a run that stopped early may not have taken it yet
    m_outcome.configurationCut = m_budget.cut;
    m_outcome.foldersExamined = foldersExamined();
    return m_outcome;
}

void EmptyFolderScan::nameConfigured(std::vector<NamedFolder>&& named, int level) {
    for (auto& [path, reason] : named)
        m_named.insert(std::move(path), std::move(reason), level);
}

// Whether the file system vouches that what listings beneath the open
// main folder give as folders are real folders on it, so that they need
// not be examined one by one. Asked of the main folder's canonical path,
// and only when that path still leads to the folder that was opened.
bool EmptyFolderScan::listingsCanBeTrusted(FolderHandle mainFolder) {
    std::error_code ec;
    const std::string canonical = m_fs.canonicalPath(mainFolderPath, ec);
    if (ec)
        return false;
    const EntryStatus opened = m_fs.folderStatus(mainFolder, ec);
    if (ec)
        return false;
    const EntryStatus there = m_fs.lookUp(kNoFolder, canonical, true, ec);
    return !ec && there.sameEntryAs(opened) && m_fs.listedFoldersAreReal(mainFolder, canonical);
}

// Walks the tree of each subfolder of the main folder in turn, from
// `first` on. Nothing in a subfolder's tree is handed out until the whole
// tree has been read: one unreadable folder anywhere in it means none of
// it is listed. A folder that could not be read for want of descriptors
// while threads read ahead leaves the subfolder's tree unjudged, as if it
// had not been begun.
EmptyFolderScan::Walked EmptyFolderScan::ShowSubFolders(const FolderReadPtr& mainFolder, std::size_t first,
                                                        const FoundFolders& found, std::stop_token stop) {
    for (std::size_t i = first; i < mainFolder->subFolders.size(); ++i) {
        const std::size_t keptBefore = m_outcome.kept.size();
        const auto forget = [&] {
            m_frames.clear();
            m_pending.clear();
            m_liveCandidates = 0;
            m_path = mainFolderPath;
            m_outcome.kept.resize(keptBefore);
            m_outcome.status = ScanOutcome::Status::Completed;
            m_outcome.stoppedAt.clear();
            m_outcome.reason.clear();
            return Walked{Walked::OutOfDescriptors, i};
        };
        if (!enter(m_readAhead->take(mainFolder, i), stop))
            return m_outOfDescriptors ? forget() : Walked{Walked::Stopped, i};
        while (!m_frames.empty()) {
            if (stop.stop_requested()) {
                fail(m_path, std::make_error_code(std::errc::operation_canceled));
                return Walked{Walked::Stopped, i};
            }
            Frame& folder = currentFolder();
            if (folder.next == folder.folder->subFolders.size()) {
                leave();
                continue;
            }
            const FolderReadPtr parent = folder.folder;
            if (!enter(m_readAhead->take(parent, folder.next++), stop))
                return m_outOfDescriptors ? forget() : Walked{Walked::Stopped, i};
        }
        flush(found);
    }
    return Walked{Walked::Completed, mainFolder->subFolders.size()};
}

bool EmptyFolderScan::enter(FolderReadPtr folder, std::stop_token stop) {
    const std::size_t parentPathLength = m_path.size();
    appendName(m_path, folder->name);

    FolderRead& read = *folder;
    if (read.kept && read.kept->seals()) {
        // Nothing inside is entered; what the folder holds stays unknown,
        // and it keeps every folder above it off the list as data would.
        if (read.folder)
            m_examined.fetch_add(1, std::memory_order_relaxed);
        keep(*read.kept);
        markTreeNonZero();
        m_path.resize(parentPathLength);
        return true;
    }
    if (isMissing(read.error)) {
        // Gone since its parent was read, as programs' temporary folders
        // go: what it held is unknown, so it weighs as data would.
        markTreeNonZero();
        m_path.resize(parentPathLength);
        return true;
    }
    m_outOfDescriptors = isShortOfResources(read.error) && m_readAhead->readsAhead();
    if (read.error)
        return fail(read.failedName.empty() ? m_path : joinPath(m_path, read.failedName), read.error);
    std::optional<KeepReason> kept = read.kept; // copied: threads reading its subfolders still look at it
    if (!kept && !m_named.empty())
        kept = m_named.find(m_path);
    // Sizes matter only while a folder above could still be listed; this
    // folder itself can only be listed if it holds no files to measure and
    // nothing needs it.
    const SizeNeed need =
        kept || read.sizesMeasured || m_liveCandidates == 0 ? SizeNeed::None : SizeNeed::UntilNonZero;
    const std::error_code ec = measureFiles(m_fs, read.folder.get(), need, read.summary, stop);
    if (ec)
        return fail(m_path, ec);
    std::vector<std::string>().swap(read.summary.regularFiles);
    m_examined.fetch_add(1, std::memory_order_relaxed);

    // What a system root's or a home's configuration names beneath it
    // counts from here on, as its fstab and user-dirs do.
    if (m_readConfiguration && (read.facts.systemRoot || read.facts.home)) {
        FolderFacts unread = read.facts;
        unread.home = unread.home && !m_homesRead.contains(m_path);
        const FolderHandle parent = m_frames.empty() ? m_mainHandle : m_frames.back().folder->folder.get();
        nameConfigured(readConfiguredBeneath(m_fs, parent, read.name, m_path, unread, m_canonicalMain,
                                             mainFolderPath, m_budget),
                       static_cast<int>(m_frames.size()) + 1);
    }
    Frame& frame = m_frames.emplace_back();
    frame.folder = std::move(folder);
    frame.parentPathLength = parentPathLength;
    frame.holdsNoFiles = read.summary.fileCount == 0 && !kept;
    if (read.named)
        m_named.add(m_path, static_cast<int>(m_frames.size()), *read.named);
    if (kept) {
        // Kept alone: walked like any folder, but never listed itself.
        keep(*kept);
        markTreeNonZero();
    } else if (read.summary.bytes != 0) {
        markTreeNonZero();
    } else if (frame.holdsNoFiles) {
        frame.pendingIndex = m_pending.size();
        m_pending.emplace_back(); // its path is written once it is known to be listed
        ++m_liveCandidates;
    }
    return true;
}

void EmptyFolderScan::keep(const KeepReason& reason) {
    m_outcome.kept.push_back(KeptFolder{m_path, reason.text()});
}

void EmptyFolderScan::leave() {
    Frame& folder = currentFolder();
    if (folder.holdsNoFiles) {
        if (folder.nonZero) {
            reject(folder.pendingIndex);
        } else {
            --m_liveCandidates; // decided: it stays listed
            m_pending[folder.pendingIndex].path = m_path;
        }
    }
    m_path.resize(folder.parentPathLength);
    m_frames.pop_back();
}

// Something of non-zero size was found in the current folder: no folder on
// the way up to it can be listed any more.
void EmptyFolderScan::markTreeNonZero() {
    for (auto it = m_frames.rbegin(); it != m_frames.rend() && m_liveCandidates > 0; ++it) {
        if (it->nonZero)
            break; // everything above learned it already
        it->nonZero = true;
        if (it->holdsNoFiles)
            --m_liveCandidates;
    }
}

// Drops a pending entry. Entries after it belong to its subfolders and may
// still be listed, so a rejected entry in the middle is only marked; the
// tail is trimmed so rejected entries never pile up at the end.
void EmptyFolderScan::reject(std::size_t pendingIndex) {
    Pending& entry = m_pending[pendingIndex];
    entry.rejected = true;
    std::string().swap(entry.path);
    while (!m_pending.empty() && m_pending.back().rejected)
        m_pending.pop_back();
}

void EmptyFolderScan::flush(const FoundFolders& found) {
    std::vector<std::string> batch;
    batch.reserve(m_pending.size());
    for (Pending& entry : m_pending)
        if (!entry.rejected)
            batch.push_back(std::move(entry.path));
    m_pending.clear();
    m_outcome.foldersListed += batch.size();
    if (!batch.empty() && found)
        found(std::move(batch));
}

bool EmptyFolderScan::fail(std::string at, std::error_code reason) {
    if (reason == std::errc::operation_canceled) {
        m_outcome.status = ScanOutcome::Status::Cancelled;
    } else {
        m_outcome.status = ScanOutcome::Status::Stopped;
        m_outcome.stoppedAt = std::move(at);
        m_outcome.reason = reason;
    }
    return false;
}

ScanOutcome scanInto(FileSystem& fileSystem, const std::string& mainFolderPath, FolderList& list,
                     std::stop_token stop, unsigned readAheadThreads) {
    list.Clear();
    EmptyFolderScan scan(fileSystem, mainFolderPath);
    scan.setReadAheadThreads(readAheadThreads);
    return scan.run([&list](std::vector<std::string>&& batch) { list.AddItems(std::move(batch)); }, stop);
}

} // namespace cleaner
