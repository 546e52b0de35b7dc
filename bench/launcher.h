// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include <sys/types.h>

namespace bench {

struct ProcessRun {
    double seconds = 0;
    long peakKiB = 0;
    int exitCode = -1;
};

// Starts programs for the benchmark from a small helper process forked
// before the trees are generated. The kernel's peak-memory figure for a
// child includes what it inherited at fork time, so children forked straight
// from the (large) benchmark process would all appear to use as much memory
// as it does.
class Launcher {
public:
    Launcher();
    ~Launcher();
    Launcher(const Launcher&) = delete;
    Launcher& operator=(const Launcher&) = delete;

    // Runs a program with its output thrown away and `inputFile` (if any)
    // on its standard input; times it and reads its peak resident memory.
    ProcessRun run(const std::vector<std::string>& argv, const std::string& inputFile = {});

private:
    pid_t m_pid = -1;
    int m_requests = -1;
    int m_replies = -1;
};

// How long since `start`, in seconds.
double secondsSince(std::chrono::steady_clock::time_point start);
double median(std::vector<double> values);
// The path of a program built beside this one.
std::string siblingProgram(const char* name);

} // namespace bench
