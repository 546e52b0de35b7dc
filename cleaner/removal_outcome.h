// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <system_error>

namespace cleaner {

// What became of one folder the user asked to delete.
struct RemovalOutcome {
    enum class Result : std::uint8_t {
        Deleted,       // it was empty and is gone now
        AlreadyGone,   // it went with a folder that was deleted before it (a parent)
        NoLongerThere, // its path no longer leads to the folder that was listed: nothing was touched
        NotEmpty,      // it holds something now, or is no longer a plain folder: untouched
        Kept,          // something needs it, or it lies in a folder that must stay: untouched
        Failed,        // the disk refused; `reason` says why. Anything removed held no data
    };
    Result result = Result::Failed;
    std::error_code reason; // Failed only
    // Failed only: a file that changed while it was being removed could not
    // go back under its name; it waits, untouched, in this folder.
    std::string keptIn;
    // Kept: why, as the user reads it ("the system needs it"). Failed with
    // RemovalError::NoTrash: why no Trash could take it, naming the drive.
    std::string keptBecause;
    // The folders this entry's deletion removed from the disk: its own and
    // every one beneath it (some, when it failed part of the way).
    std::uint64_t foldersRemoved = 0;
    // Deleted or AlreadyGone: the folder went to the Trash (whole, or with
    // a folder above it), not off the disk.
    bool movedToTrash = false;

    // These entries leave the list: there is nothing left to delete.
    bool leavesList() const noexcept {
        return result == Result::Deleted || result == Result::AlreadyGone || result == Result::NoLongerThere;
    }
    // The ones counted as deleted.
    bool isDeleted() const noexcept { return result == Result::Deleted || result == Result::AlreadyGone; }
};

// Reasons of the removal's own, beside the system's.
enum class RemovalError {
    OutsideMainFolder = 1, // the path is not strictly beneath the main folder
    ChangedMeanwhile,      // a folder of the tree was exchanged between the check and the removal
    NulInPath,             // the path holds a NUL byte, which no name on disk can
    NoSafeMove,            // the file system can't move a file aside without maybe replacing another
    NoTrash,               // no Trash can take it: none on its drive, and the home Trash is on another
    NotInTrash,            // putting back: the item is no longer in the Trash (emptied, restored, replaced)
    PlaceGone,             // putting back: the folder it was in is gone
    Stopped,               // the user stopped the run while this folder was at hand
};
const std::error_category& removalCategory() noexcept;
std::error_code make_error_code(RemovalError error) noexcept;

// The deletion log's line for a folder.
std::string deletionLogLine(const std::string& path, const RemovalOutcome& outcome);
// The log's line for a folder put back from the Trash, or not (`why`).
std::string putBackLogLine(const std::string& path, std::error_code why);

} // namespace cleaner

template <>
struct std::is_error_code_enum<cleaner::RemovalError> : std::true_type {};
