// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <system_error>

namespace cleaner {

// What became of one folder the user asked to delete.
struct RemovalOutcome {
    enum class Result : std::uint8_t {
        Deleted,     // it was empty and is gone now
        AlreadyGone, // nothing was there any more (a parent went first, or someone else removed it)
        NotEmpty,    // it holds something now, or is no longer a plain folder: untouched
        Failed,      // the disk refused; `reason` says why. Anything removed held no data
    };
    Result result = Result::Failed;
    std::error_code reason; // Failed only

    // Deleted and gone folders leave the list; the others stay.
    bool isGone() const noexcept { return result == Result::Deleted || result == Result::AlreadyGone; }
};

// The deletion log's line for a folder.
std::string deletionLogLine(const std::string& path, const RemovalOutcome& outcome);

} // namespace cleaner
