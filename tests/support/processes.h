// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace testing_support {

bool runningAsRoot();

// What a program printed and how it ended.
struct ProgramRun {
    int exitCode = -1; // -1 when it did not exit normally
    std::string out;
    std::string err;
};

// Runs a program with `input` on its standard input and waits for it.
ProgramRun runProgram(const std::vector<std::string>& argv, const std::string& input = "");

// Starts a program that goes on running, its streams on /dev/null; returns
// its pid for the caller to stop and reap, or -1 when it could not start.
pid_t startProgram(const std::vector<std::string>& argv);

// Copies the program at `program` into `folder` (mode 0755) and returns the
// copy's path. An ordinary user may not be able to reach the build tree,
// which can lie in a private folder such as root's home; a copy in a test's
// own temporary folder can always be run.
std::string copyProgramInto(const std::string& program, const std::string& folder);

// Runs `body` in a child process as an ordinary user: when the tests run as
// root, the child drops to nobody first, so permission bits apply to it.
// Returns what `body` returned, or a line saying how the child failed.
std::string runUnprivileged(const std::function<std::string()>& body);

// A TCP port on 127.0.0.1 that nothing listens on now; 0 when none could be found.
int freeLoopbackPort();
// Whether something accepts connections on 127.0.0.1 at `port`.
bool acceptsOnLoopback(int port);

// Runs `body` in a child process with its own mount table, in which a fresh
// tmpfs is mounted on `mountPoint` (an existing folder), so nothing stays
// mounted afterwards. Sets `available` to false, and returns "", when
// mounting isn't allowed here (not root, or no mount namespaces).
std::string runWithMount(const std::string& mountPoint, const std::function<std::string()>& body,
                         bool& available);

} // namespace testing_support
