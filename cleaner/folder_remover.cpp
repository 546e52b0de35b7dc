// SPDX-License-Identifier: GPL-3.0-or-later
#include "folder_remover.h"

#include "fs_error.h"
#include "path.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace cleaner {

namespace {

using Result = RemovalOutcome::Result;

RemovalOutcome outcome(Result result, std::error_code reason = {}) {
    RemovalOutcome verdict;
    verdict.result = result;
    verdict.reason = reason;
    return verdict;
}

RemovalOutcome keptFor(const KeepReason& reason) {
    RemovalOutcome verdict = outcome(Result::Kept);
    verdict.keptBecause = reason.text();
    return verdict;
}

// What openat(O_DIRECTORY | O_NOFOLLOW) says of a link or a file.
bool isNotAFolder(std::error_code ec) {
    return ec == std::errc::not_a_directory || ec == std::errc::too_many_symbolic_link_levels;
}

// The names that lead from `main` to `path`, or nothing when `path` is not
// strictly beneath `main` as the scan spells its paths (no empty names, no
// "." or ".."). Trailing slashes are ignored.
std::optional<std::vector<std::string_view>> namesBeneath(std::string_view main, std::string_view path) {
    const std::size_t prefixLength = main.ends_with('/') ? main.size() : main.size() + 1;
    if (main.empty() || !path.starts_with(main) || path.size() <= prefixLength ||
        (!main.ends_with('/') && path[main.size()] != '/'))
        return std::nullopt;
    std::string_view rest = path.substr(prefixLength);
    while (rest.ends_with('/'))
        rest.remove_suffix(1);
    if (rest.empty())
        return std::nullopt;
    std::vector<std::string_view> names;
    for (std::size_t start = 0; start <= rest.size();) {
        const std::size_t end = std::min(rest.find('/', start), rest.size());
        const std::string_view name = rest.substr(start, end - start);
        if (name.empty() || name == "." || name == "..")
            return std::nullopt;
        names.push_back(name);
        start = end + 1;
    }
    return names;
}

} // namespace

// The private folder each zero-byte file passes through on its way out.
// Inside it nobody else can swap the file for another, so what is looked at
// there is what gets unlinked. Made when the first file needs it, inside the
// folder being deleted (so on the same file system), and removed at the end.
class FolderRemover::Staging {
public:
    Staging(FileSystem& fs, FolderHandle top, std::mt19937_64& random)
        : m_fs(fs), m_top(top), m_random(random) {}
    Staging(const Staging&) = delete;
    Staging& operator=(const Staging&) = delete;

    const std::string& name() const noexcept { return m_name; }
    bool keptSomething() const noexcept { return m_kept; }

    // Removes the file `name` of `folder` if it is a zero-byte regular file.
    // Anything else is put back under its name, or, when the name has been
    // taken meanwhile, stays here; either way the removal stops.
    std::error_code removeZeroByteFile(FolderHandle folder, const std::string& name) {
        std::error_code ec = create();
        if (ec)
            return ec;
        const std::string staged = std::to_string(m_nextName++);
        m_fs.moveEntry(folder, name, m_folder.get(), staged, ec);
        if (isMissing(ec))
            return {}; // someone else removed it
        if (ec == std::errc::invalid_argument)
            return RemovalError::NoSafeMove; // a file system that can't move without replacing
        if (ec)
            return ec;
        const EntryStatus status = m_fs.examine(m_folder.get(), staged, ec);
        if (!ec && status.kind == EntryKind::RegularFile && status.size == 0) {
            m_fs.removeEntry(m_folder.get(), staged, false, ec);
            return ec;
        }
        m_fs.moveEntry(m_folder.get(), staged, folder, name, ec);
        if (ec)
            m_kept = true;
        return std::make_error_code(std::errc::directory_not_empty);
    }

    // Removes the staging folder unless something had to stay in it.
    void finish() {
        if (!m_folder)
            return;
        m_folder.close();
        if (!m_kept) {
            std::error_code ec;
            m_fs.removeEntry(m_top, m_name, true, ec);
        }
    }

private:
    std::error_code create() {
        if (m_folder)
            return {};
        std::error_code ec;
        for (int attempt = 0; attempt < 16; ++attempt) {
            char suffix[17];
            std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(m_random()));
            m_name = std::string(".efr-deleting-") + suffix;
            m_fs.makePrivateFolder(m_top, m_name, ec);
            if (ec != std::errc::file_exists)
                break;
        }
        if (ec)
            return ec;
        m_folder = m_fs.openSub(m_top, m_name, ec);
        if (ec) {
            // Made but not opened (no descriptor left, say): it goes again
            // rather than stay behind unnamed.
            std::error_code ignored;
            m_fs.removeEntry(m_top, m_name, true, ignored);
            m_name.clear();
        }
        return ec;
    }

    FileSystem& m_fs;
    FolderHandle m_top;
    std::mt19937_64& m_random;
    std::string m_name;
    OpenFolder m_folder;
    std::uint64_t m_nextName = 0;
    bool m_kept = false;
};

FolderRemover::FolderRemover(FileSystem& fileSystem, std::string mainFolderPath, DeletedFolders& deleted)
    : mainFolderPath(std::move(mainFolderPath)), m_fs(fileSystem), m_deleted(deleted),
      m_random(std::random_device{}()) {}

RemovalOutcome FolderRemover::DeleteFolder(const RemovalRequest& request) {
    // No name on disk holds a NUL byte: the system would take the path as
    // ending there, and delete another folder than the one named.
    if (request.path.find('\0') != std::string::npos)
        return outcome(Result::Failed, RemovalError::NulInPath);
    const auto names = namesBeneath(mainFolderPath, request.path);
    if (!names)
        return outcome(Result::Failed, RemovalError::OutsideMainFolder);
    if (!openMainFolder())
        return m_mainProblem;

    m_targetPath = pathOf(*names, names->size());
    m_targetRealPath = m_canonicalMain;
    for (const std::string_view name : *names)
        appendName(m_targetRealPath, name);
    RemovalOutcome verdict = walkTo(*names);
    if (verdict.result != Result::Deleted)
        return verdict;
    return removeTarget(m_way.back().folder.get(), std::string(names->back()), m_targetPath);
}

// The main folder is opened by its path once per run, following a link if
// the user chose one: it is the anchor everything else is reached from.
bool FolderRemover::openMainFolder() {
    if (m_mainOpened)
        return m_mainProblem.result == Result::Deleted;
    m_mainOpened = true;
    m_mainProblem = outcome(Result::Deleted);
    std::error_code ec;
    OpenFolder main = m_fs.open(mainFolderPath, m_device, ec);
    EntryStatus status;
    if (!ec)
        status = m_fs.folderStatus(main.get(), ec);
    if (isMissing(ec) || isNotAFolder(ec) || (!ec && m_expectedMain && !status.sameEntryAs(*m_expectedMain)))
        m_mainProblem = outcome(Result::NoLongerThere); // gone, unmounted or replaced since the scan
    else if (ec)
        m_mainProblem = outcome(Result::Failed, ec);
    else
        m_way.emplace_back(std::string(), std::move(main), status);
    if (m_mainProblem.result != Result::Deleted)
        return false;

    // What the rule says of the main folder and above, once per run, from
    // one listing of the main folder: a sealed one is looked into no further.
    WayStep& mainStep = m_way.front();
    const EntryMarks mainMarks = readMarks(m_fs, mainStep.folder.get());
    const AboveMainFolder above = lookAbove(m_fs, mainFolderPath, mainMarks, m_userHome, m_named);
    mainStep.judged = true;
    mainStep.sealed = above.sealedBy;
    m_canonicalMain = above.canonicalMain;
    std::error_code shortOf = above.shortOf;
    if (!mainStep.sealed) {
        mainStep.facts = above.mainFacts;
        mainStep.facts.marks = mainMarks;
        mainStep.facts.fileSystemRoot = above.fileSystemRoot;
        m_named.add(mainFolderPath, 0, lookInside(m_fs, mainStep.folder.get(), "", mainStep.facts, shortOf));
        for (auto& [path, reason] :
             readConfiguredOutside(m_fs, above.configuration, m_canonicalMain, mainFolderPath, m_budget))
            m_named.insert(std::move(path), std::move(reason), -1);
        for (auto& [path, reason] : readConfiguredBeneath(m_fs, kNoFolder, mainFolderPath, mainFolderPath,
                                                          mainStep.facts, m_canonicalMain, mainFolderPath, m_budget))
            m_named.insert(std::move(path), std::move(reason), 0);
    }
    // What a file that could not be read names is unknown: nothing goes.
    if (shortOf) {
        m_mainProblem = outcome(Result::Failed, shortOf);
        return false;
    }
    return true;
}

// The reason of the first sealed folder from above the main folder down to
// the entry's parent, judging the folders of the way as far as needed:
// nothing beneath a sealed folder is looked into.
std::optional<KeepReason> FolderRemover::sealedOnTheWay() {
    for (std::size_t depth = 0; depth < m_way.size(); ++depth) {
        if (!m_way[depth].judged)
            judgeWayStep(depth);
        if (m_way[depth].sealed)
            return m_way[depth].sealed;
    }
    return std::nullopt;
}

void FolderRemover::judgeWayStep(std::size_t depth) {
    WayStep& step = m_way[depth];
    step.judged = true;
    step.sealed = keptByName(step.name, m_way[depth - 1].facts);
    if (step.sealed)
        return;
    const EntryMarks found = readMarks(m_fs, step.folder.get());
    step.sealed = keptByContent(step.name, found);
    if (step.sealed)
        return;
    step.facts = inheritedFacts(m_way[depth - 1].facts, step.name);
    step.facts.marks = found;
    std::string path = mainFolderPath;
    for (std::size_t i = 1; i <= depth; ++i)
        appendName(path, m_way[i].name);
    m_named.add(path, static_cast<int>(depth), lookInside(m_fs, step.folder.get(), "", step.facts, m_shortOf));
    if (step.facts.systemRoot || step.facts.home)
        for (auto& [named, reason] : readConfiguredBeneath(m_fs, m_way[depth - 1].folder.get(), step.name, path,
                                                           step.facts, m_canonicalMain, mainFolderPath, m_budget))
            m_named.insert(std::move(named), std::move(reason), static_cast<int>(depth));
}

// Opens the folders from the main folder down to the entry's parent, keeping
// what the previous entry opened as long as each name still leads to the
// folder held. Deleted: the way is open.
RemovalOutcome FolderRemover::walkTo(const std::vector<std::string_view>& names) {
    const std::size_t parentDepth = names.size(); // m_way[parentDepth - 1] is the parent
    std::error_code ec;
    std::size_t keep = 1;
    while (keep < m_way.size() && keep < parentDepth && m_way[keep].name == names[keep - 1]) {
        const EntryStatus now = m_fs.examine(m_way[keep - 1].folder.get(), m_way[keep].name, ec);
        if (ec || !now.sameEntryAs(m_way[keep].status))
            break;
        ++keep;
    }
    m_way.erase(m_way.begin() + static_cast<std::ptrdiff_t>(keep), m_way.end());

    while (m_way.size() < parentDepth) {
        const std::size_t depth = m_way.size();
        const std::string name(names[depth - 1]);
        const FolderHandle parent = m_way.back().folder.get();
        const EntryStatus status = m_fs.examine(parent, name, ec);
        if (isMissing(ec))
            return gone();
        if (ec)
            return outcome(Result::Failed, ec);
        // A link, a file, another file system or a mount on the way: the
        // path no longer leads where the listed folder was.
        if (status.kind != EntryKind::Folder || status.device != m_device || status.mountRoot)
            return outcome(Result::NoLongerThere);
        OpenFolder folder = m_fs.openSub(parent, name, ec);
        if (isMissing(ec))
            return gone();
        if (isNotAFolder(ec))
            return outcome(Result::NoLongerThere);
        if (ec)
            return outcome(Result::Failed, ec);
        const EntryStatus opened = m_fs.folderStatus(folder.get(), ec);
        if (ec)
            return outcome(Result::Failed, ec);
        if (!opened.sameEntryAs(status) || opened.mountRoot)
            return outcome(Result::NoLongerThere);
        m_way.emplace_back(name, std::move(folder), opened);
    }
    return outcome(Result::Deleted);
}

RemovalOutcome FolderRemover::removeTarget(FolderHandle parent, const std::string& name,
                                           const std::string& path) {
    std::error_code ec;
    const EntryStatus status = m_fs.examine(parent, name, ec);
    if (isMissing(ec))
        return gone();
    if (ec)
        return outcome(Result::Failed, ec);
    if (status.kind != EntryKind::Folder || status.device != m_device || status.mountRoot)
        return outcome(Result::NotEmpty); // no longer a plain folder on this file system

    // Kept before empty: a bare repository holds files, but what the user
    // must hear is that git needs it. The rules go in their order; only
    // rules 4 and 5 need the folder read, so one that can't be opened or
    // read is judged by the others, then refused.
    std::optional<KeepReason> kept = sealedOnTheWay();
    if (m_shortOf) {
        // What the way's files name is unknown, so this entry can't be
        // judged; the way is opened and judged afresh for the next one.
        const std::error_code shortOf = std::exchange(m_shortOf, {});
        m_way.erase(m_way.begin() + 1, m_way.end());
        return outcome(Result::Failed, shortOf);
    }
    const FolderFacts& parentFacts = m_way.back().facts;
    if (!kept)
        kept = keptByName(name, parentFacts);
    if (kept)
        return keptFor(*kept);

    OpenFolder top = m_fs.openSub(parent, name, ec);
    if (isMissing(ec))
        return gone();
    if (isNotAFolder(ec))
        return outcome(Result::NotEmpty);
    EntryStatus opened;
    if (!ec)
        opened = m_fs.folderStatus(top.get(), ec);
    if (!ec && (!opened.sameEntryAs(status) || opened.mountRoot))
        return outcome(Result::NotEmpty);
    std::string failedName;
    if (!ec)
        ec = summariseFolder(m_fs, top.get(), m_device, SizeNeed::UntilNonZero, m_summary, m_scratch,
                             failedName);
    if (!ec)
        kept = keptByContent(name, m_summary.marks);
    if (!kept)
        kept = keptByPlace(name, parentFacts);
    if (!kept)
        kept = m_named.find(path);
    if (kept)
        return keptFor(*kept);
    if (ec)
        return outcome(Result::Failed, ec);

    m_nodes.clear();
    m_nodes.push_back(CheckedFolder{name, opened, 0, 0, 0, {}});
    RemovalOutcome verdict = judgeNode(0, top.get());
    if (verdict.result == Result::Deleted)
        verdict = checkTree(top.get());
    if (verdict.result != Result::Deleted)
        return verdict;
    if (m_trash) {
        top.close();
        return moveToTrash(parent, name, opened);
    }

    m_removedFolders = 0;
    Staging staging(m_fs, top.get(), m_random);
    ec = removeTree(top.get(), staging);
    staging.finish();
    top.close();
    if (!ec && !staging.keptSomething())
        ec = removeFolder(parent, 0);
    if (staging.keptSomething()) {
        verdict = outcome(Result::Failed, std::make_error_code(std::errc::directory_not_empty));
        verdict.keptIn = joinPath(path, staging.name());
    } else {
        verdict = ec ? outcome(Result::Failed, ec) : outcome(Result::Deleted);
    }
    verdict.foldersRemoved = m_removedFolders;
    return verdict;
}

// The read-only pass below the top folder, which judgeNode() has seen:
// Deleted means the whole tree may go.
RemovalOutcome FolderRemover::checkTree(FolderHandle top) {
    struct Frame {
        std::size_t node;
        FolderHandle handle;
        OpenFolder owned; // empty for the top folder, which the caller holds
        std::size_t next = 0;
    };
    std::vector<Frame> stack;
    RemovalOutcome verdict;
    stack.push_back(Frame{0, top, {}});
    std::error_code ec;
    while (!stack.empty()) {
        if (m_stop.stop_requested())
            return outcome(Result::Failed, RemovalError::Stopped);
        Frame& frame = stack.back();
        const CheckedFolder& folder = m_nodes[frame.node];
        if (frame.next == folder.childCount) {
            stack.pop_back();
            continue;
        }
        const std::size_t child = folder.firstChild + frame.next++;
        OpenFolder sub = m_fs.openSub(frame.handle, m_nodes[child].name, ec);
        if (ec)
            return outcome(Result::Failed, ec);
        const EntryStatus status = m_fs.folderStatus(sub.get(), ec);
        if (ec)
            return outcome(Result::Failed, ec);
        if (status.device != m_device || status.mountRoot)
            return outcome(Result::NotEmpty); // a mount appeared: never entered
        m_nodes[child].status = status;
        verdict = summarise(child, sub.get());
        if (verdict.result != Result::Deleted)
            return verdict;
        const FolderHandle handle = sub.get();
        stack.push_back(Frame{child, handle, std::move(sub)});
    }
    return outcome(Result::Deleted);
}

RemovalOutcome FolderRemover::summarise(std::size_t node, FolderHandle folder) {
    std::string failedName;
    const std::error_code ec =
        summariseFolder(m_fs, folder, m_device, SizeNeed::UntilNonZero, m_summary, m_scratch, failedName);
    if (ec)
        return outcome(Result::Failed, ec);
    return judgeNode(node, folder);
}

// Judges the folder summarised last. A folder made kept since the scan (a
// repository, a system root) keeps the tree, as data would.
RemovalOutcome FolderRemover::judgeNode(std::size_t node, FolderHandle folder) {
    if (node == 0 && m_summary.fileCount != 0)
        return outcome(Result::NotEmpty);
    if (m_summary.bytes != 0) {
        // When the one thing that weighed was an entry we could not look
        // at, we don't know that it holds data: that is a refusal.
        const bool onlyUnexamined = m_summary.unexaminedReason && m_summary.bytes == 1;
        return onlyUnexamined ? outcome(Result::Failed, m_summary.unexaminedReason)
                              : outcome(Result::NotEmpty);
    }
    if (node != 0 && keptByContent(m_nodes[node].name, m_summary.marks))
        return outcome(Result::NotEmpty);
    const FolderFacts& parentFacts = node == 0 ? m_way.back().facts : m_nodes[m_nodes[node].parent].facts;
    FolderFacts facts = inheritedFacts(parentFacts, m_nodes[node].name);
    facts.marks = m_summary.marks;
    std::error_code shortOf; // only whether it is a system root or a home matters here, known by look-ups
    lookInside(m_fs, folder, "", facts, shortOf);
    const std::string path = m_named.empty() ? std::string() : nodePath(node);
    for (const std::string& name : m_summary.subFolders)
        if (keptByName(name, facts) || keptByPlace(name, facts) ||
            (!m_named.empty() && m_named.find(joinPath(path, name))))
            return outcome(Result::NotEmpty);

    m_nodes[node].facts = std::move(facts);
    m_nodes[node].firstChild = m_nodes.size();
    m_nodes[node].childCount = m_summary.subFolders.size();
    for (std::string& name : m_summary.subFolders)
        m_nodes.push_back(CheckedFolder{std::move(name), {}, 0, 0, node, {}});
    return outcome(Result::Deleted);
}

std::string FolderRemover::nodePath(std::size_t node) const {
    std::vector<std::size_t> chain;
    for (; node != 0; node = m_nodes[node].parent)
        chain.push_back(node);
    std::string path = m_targetPath;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it)
        appendName(path, m_nodes[*it].name);
    return path;
}

// The removing pass, bottom-up over the folders the check saw. A folder
// that no longer is the one checked, or anything new that is not a
// zero-byte file, stops it.
std::error_code FolderRemover::removeTree(FolderHandle top, Staging& staging) {
    struct Frame {
        std::size_t node;
        FolderHandle handle;
        OpenFolder owned;
        std::size_t next = 0;
    };
    std::vector<Frame> stack;
    std::error_code ec = removeFiles(top, 0, staging);
    if (ec)
        return ec;
    stack.push_back(Frame{0, top, {}});
    while (!stack.empty()) {
        if (m_stop.stop_requested())
            return RemovalError::Stopped;
        Frame& frame = stack.back();
        const CheckedFolder& folder = m_nodes[frame.node];
        if (frame.next < folder.childCount) {
            const std::size_t child = folder.firstChild + frame.next++;
            OpenFolder sub = m_fs.openSub(frame.handle, m_nodes[child].name, ec);
            if (isMissing(ec))
                continue; // someone else removed it
            if (isNotAFolder(ec))
                return RemovalError::ChangedMeanwhile;
            if (ec)
                return ec;
            const EntryStatus status = m_fs.folderStatus(sub.get(), ec);
            if (ec)
                return ec;
            if (!status.sameEntryAs(m_nodes[child].status) || status.mountRoot)
                return RemovalError::ChangedMeanwhile;
            ec = removeFiles(sub.get(), child, staging);
            if (ec)
                return ec;
            const FolderHandle handle = sub.get();
            stack.push_back(Frame{child, handle, std::move(sub)});
            continue;
        }
        const std::size_t done = frame.node;
        stack.pop_back(); // closes it
        if (done == 0)
            break; // the top folder goes last, after its staging folder
        ec = removeFolder(stack.back().handle, done);
        if (ec)
            return ec;
    }
    return {};
}

// Removes the zero-byte files directly inside `folder`. Every folder in it
// must be one the check saw; anything else stops the removal.
std::error_code FolderRemover::removeFiles(FolderHandle folder, std::size_t node, Staging& staging) {
    std::vector<DirEntry>& entries = m_entries;
    entries.clear();
    std::error_code ec;
    m_fs.readEntries(folder, entries, ec, {});
    if (ec)
        return ec;
    std::sort(entries.begin(), entries.end(),
              [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
    const CheckedFolder& checked = m_nodes[node];
    const auto childrenBegin = m_nodes.begin() + static_cast<std::ptrdiff_t>(checked.firstChild);
    const auto childrenEnd = childrenBegin + static_cast<std::ptrdiff_t>(checked.childCount);
    for (const DirEntry& entry : entries) {
        if (node == 0 && !staging.name().empty() && entry.name == staging.name())
            continue;
        EntryKind kind = entry.kind;
        EntryStatus status;
        if (kind == EntryKind::RegularFile || kind == EntryKind::Unknown) {
            status = m_fs.examine(folder, entry.name, ec);
            if (isMissing(ec))
                continue; // someone else removed it
            if (ec)
                return ec;
            kind = status.kind;
        }
        if (kind == EntryKind::Folder) {
            const bool checkedChild =
                std::any_of(childrenBegin, childrenEnd,
                            [&entry](const CheckedFolder& c) { return c.name == entry.name; });
            if (!checkedChild)
                return std::make_error_code(std::errc::directory_not_empty); // appeared since the check
            continue;
        }
        if (kind != EntryKind::RegularFile || status.size != 0 || isMarkerFile(entry.name))
            return std::make_error_code(std::errc::directory_not_empty); // data, links, fifos, devices stay
        ec = staging.removeZeroByteFile(folder, entry.name);
        if (ec)
            return ec;
    }
    return {};
}

// Removes an emptied folder by its name, once sure the name still leads to
// the folder that was checked and emptied, and remembers it as deleted.
std::error_code FolderRemover::removeFolder(FolderHandle parent, std::size_t node) {
    const CheckedFolder& folder = m_nodes[node];
    std::error_code ec;
    const EntryStatus now = m_fs.examine(parent, folder.name, ec);
    if (isMissing(ec))
        return {};
    if (ec)
        return ec;
    if (!now.sameEntryAs(folder.status) || now.kind != EntryKind::Folder)
        return RemovalError::ChangedMeanwhile;
    m_fs.removeEntry(parent, folder.name, true, ec);
    if (isMissing(ec))
        return {}; // someone else was quicker
    if (!ec) {
        m_deleted.add(nodePath(node));
        ++m_removedFolders;
        if (m_gone)
            m_gone->fetch_add(1, std::memory_order_relaxed);
    }
    return ec;
}

// The entry's folder is not there. Only one that this run (or one before it
// since the list was filled) removed went with a deleted folder; any other,
// even beneath a deleted folder, was never ours to delete.
RemovalOutcome FolderRemover::gone() const {
    RemovalOutcome verdict =
        m_deleted.contains(m_targetPath) ? outcome(Result::AlreadyGone) : outcome(Result::NoLongerThere);
    verdict.movedToTrash = verdict.result == Result::AlreadyGone && m_trash;
    return verdict;
}

// Moves the checked folder `name` of `parent` (which is `status`) to the
// Trash whole, by one rename. The tree is checked again where it is then:
// what gained data between the check and the move goes back where it was.
RemovalOutcome FolderRemover::moveToTrash(FolderHandle parent, const std::string& name, const EntryStatus& status) {
    const auto noTrash = [](std::string why) {
        RemovalOutcome verdict = outcome(Result::Failed, RemovalError::NoTrash);
        verdict.keptBecause = std::move(why);
        return verdict;
    };
    if (m_canonicalMain.empty())
        return noTrash("the main folder's place on disk is not known");
    TrashedItem item;
    std::error_code ec = m_trash->moveIn(parent, name, m_targetRealPath, status, item);
    if (ec == std::errc::no_such_device_or_address)
        return noTrash(m_trash->whyNoTrash());
    if (ec)
        return outcome(Result::Failed, ec);
    item.listedPath = m_targetPath;

    // Opened afresh where it is now, for a listing of its own.
    const OpenFolder moved = m_trash->openItem(item, ec);
    std::string failedName;
    if (!ec)
        ec = summariseFolder(m_fs, moved.get(), m_device, SizeNeed::UntilNonZero, m_summary, m_scratch, failedName);
    m_nodes.clear();
    m_nodes.push_back(CheckedFolder{name, status, 0, 0, 0, {}});
    RemovalOutcome verdict = ec ? outcome(Result::Failed, ec) : judgeNode(0, moved.get());
    if (verdict.result == Result::Deleted)
        verdict = checkTree(moved.get());
    if (verdict.result != Result::Deleted) {
        if (const std::error_code back = m_trash->putBack(item)) {
            RemovalOutcome stuck = outcome(Result::Failed, back);
            stuck.keptIn = item.trash + "/files/" + item.name;
            return stuck;
        }
        return verdict.result == Result::Failed ? verdict : outcome(Result::NotEmpty);
    }
    for (std::size_t node = 0; node < m_nodes.size(); ++node)
        m_deleted.add(nodePath(node));
    m_trashed.push_back(std::move(item));
    if (m_gone)
        m_gone->fetch_add(m_nodes.size(), std::memory_order_relaxed);
    verdict = outcome(Result::Deleted);
    verdict.movedToTrash = true;
    verdict.foldersRemoved = m_nodes.size();
    return verdict;
}

std::string FolderRemover::pathOf(const std::vector<std::string_view>& names, std::size_t count) const {
    std::string path = mainFolderPath;
    for (std::size_t i = 0; i < count; ++i)
        appendName(path, names[i]);
    return path;
}

} // namespace cleaner
