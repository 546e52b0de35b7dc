// SPDX-License-Identifier: GPL-3.0-or-later
#include "launcher.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace bench {

namespace {

using Clock = std::chrono::steady_clock;

bool writeAll(int fd, const void* data, std::size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, bytes, size);
        if (n <= 0)
            return false;
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool readAll(int fd, void* data, std::size_t size) {
    char* bytes = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = ::read(fd, bytes, size);
        if (n <= 0)
            return false;
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// The helper's loop: each request is the input file, then the arguments,
// each ended by a NUL byte.
void serve(int requests, int replies) {
    std::uint32_t length = 0;
    while (readAll(requests, &length, sizeof length)) {
        std::string request(length, '\0');
        if (!readAll(requests, request.data(), length))
            return;
        std::vector<char*> args;
        for (std::size_t at = 0; at < request.size(); at = request.find('\0', at) + 1)
            args.push_back(request.data() + at);
        const std::string input = args.front();
        args.erase(args.begin());
        args.push_back(nullptr);

        ProcessRun result;
        const auto start = Clock::now();
        const pid_t child = ::fork();
        if (child == 0) {
            const int devNull = ::open("/dev/null", O_WRONLY);
            ::dup2(devNull, STDOUT_FILENO);
            if (!input.empty()) {
                const int in = ::open(input.c_str(), O_RDONLY);
                ::dup2(in, STDIN_FILENO);
            }
            ::execvp(args[0], args.data());
            ::_exit(127);
        }
        int status = 0;
        rusage usage{};
        ::wait4(child, &status, 0, &usage);
        result.seconds = secondsSince(start);
        result.peakKiB = usage.ru_maxrss;
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (!writeAll(replies, &result, sizeof result))
            return;
    }
}

} // namespace

Launcher::Launcher() {
    int toHelper[2], fromHelper[2];
    if (::pipe(toHelper) != 0 || ::pipe(fromHelper) != 0) {
        std::perror("efr-bench: pipe");
        std::exit(1);
    }
    m_pid = ::fork();
    if (m_pid == 0) {
        ::close(toHelper[1]);
        ::close(fromHelper[0]);
        serve(toHelper[0], fromHelper[1]);
        ::_exit(0);
    }
    ::close(toHelper[0]);
    ::close(fromHelper[1]);
    m_requests = toHelper[1];
    m_replies = fromHelper[0];
}

Launcher::~Launcher() {
    ::close(m_requests);
    ::close(m_replies);
    ::waitpid(m_pid, nullptr, 0);
}

ProcessRun Launcher::run(const std::vector<std::string>& argv, const std::string& inputFile) {
    std::string request = inputFile;
    request.push_back('\0');
    for (const std::string& arg : argv)
        request.append(arg).push_back('\0');
    const std::uint32_t length = static_cast<std::uint32_t>(request.size());
    ProcessRun result;
    if (!writeAll(m_requests, &length, sizeof length) || !writeAll(m_requests, request.data(), length) ||
        !readAll(m_replies, &result, sizeof result))
        result.exitCode = -1;
    return result;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::string siblingProgram(const char* name) {
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return name;
    std::string path(self, static_cast<std::size_t>(n));
    return path.substr(0, path.rfind('/') + 1) + name;
}

} // namespace bench
