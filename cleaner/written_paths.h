// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace cleaner {

// A folder path that a configuration file holds, as the keep rule reads
// it: whatever the file's format, a path is a path.
struct WrittenPath {
    // Absolute ("/data/share"), or, when `inHome`, relative to the home
    // whose file wrote it as ~/, $HOME/ or ${HOME}/ (".ssh/cm" for
    // "~/.ssh/cm/%C").
    std::string path;
    bool inHome = false;
    bool operator==(const WrittenPath&) const = default;
};

// Which spellings of a path a file may hold: every file an absolute one, a
// home's files a home-relative one too.
enum class WrittenIn : bool { System, Home };

// The paths written in `text`, in file order, each once. A path begins at
// the beginning of a line or after a separator (white space, quotes and
// ; , : = ( ) < >) and ends at the next separator or the end of the line.
// Comments count too: a line commented out today may be back tomorrow.
// A trailing / or // is dropped, empty and "." parts are dropped, and where
// a part holds % or * (a pattern, ~/.ssh/cm/%C) the path ends before it; a
// path with a ".." part, or with nothing left, names nothing.
std::vector<WrittenPath> pathsWrittenIn(std::string_view text, WrittenIn where);

} // namespace cleaner
