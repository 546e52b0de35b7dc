// SPDX-License-Identifier: GPL-3.0-or-later
#include "removal_outcome.h"

namespace cleaner {

namespace {

class RemovalCategory final : public std::error_category {
public:
    const char* name() const noexcept override { return "removal"; }
    std::string message(int value) const override {
        switch (static_cast<RemovalError>(value)) {
        case RemovalError::OutsideMainFolder:
            return "it is not inside the main folder";
        case RemovalError::ChangedMeanwhile:
            return "it changed while it was being deleted";
        case RemovalError::NulInPath:
            return "its path holds a NUL byte, which no folder's name can";
        case RemovalError::NoTrash:
            return "no Trash can take it on its drive";
        case RemovalError::NotInTrash:
            return "it is no longer in the Trash";
        case RemovalError::PlaceGone:
            return "the folder it was in is gone";
        case RemovalError::Stopped:
            return "the Delete was cancelled while it was at hand, so it stays marked (any of its folders that "
                   "went held no data)";
        case RemovalError::NoSafeMove:
            return "this drive can't set a file aside without the risk of replacing another, so its "
                   "zero-byte files were left as they are";
        }
        return "unknown removal error";
    }
};

} // namespace

const std::error_category& removalCategory() noexcept {
    static const RemovalCategory category;
    return category;
}

std::error_code make_error_code(RemovalError error) noexcept {
    return {static_cast<int>(error), removalCategory()};
}

std::string deletionLogLine(const std::string& path, const RemovalOutcome& outcome) {
    using Result = RemovalOutcome::Result;
    switch (outcome.result) {
    case Result::Deleted:
    case Result::AlreadyGone:
        return path + (outcome.movedToTrash ? " has been moved to the Trash." : " has been deleted.");
    case Result::NoLongerThere:
        return path + " was not deleted: it is no longer there.";
    case Result::NotEmpty:
        return path + " was not deleted: it is no longer empty.";
    case Result::Kept:
        return path + " was not deleted: " + outcome.keptBecause + ".";
    case Result::Failed:
        break;
    }
    if (!outcome.keptIn.empty() && outcome.reason != std::errc::directory_not_empty)
        return path + " could not be deleted: it gained data in the Trash and could not be put back, so it waits in " +
               outcome.keptIn + ".";
    if (!outcome.keptIn.empty())
        return path + " could not be deleted: a file changed while it was being removed and was kept in " +
               outcome.keptIn + ".";
    return path + " could not be deleted: " + outcome.reason.message() + ".";
}

std::string putBackLogLine(const std::string& path, std::error_code why) {
    if (!why)
        return path + " has been put back.";
    if (why == std::errc::file_exists || why == std::errc::directory_not_empty)
        return path + " was not put back: something else has its name now, and it stays in the Trash.";
    if (why == RemovalError::NotInTrash)
        return path + " was not put back: " + why.message() + ".";
    return path + " was not put back: " + why.message() + ", so it stays in the Trash.";
}

} // namespace cleaner
