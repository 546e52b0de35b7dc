// SPDX-License-Identifier: GPL-3.0-or-later
#include "processes.h"

#include <cstring>
#include <exception>
#include <filesystem>

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testing_support {

namespace {

constexpr int kSetupFailed = 90;

bool writeAll(int fd, const std::string& text) {
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n <= 0)
            return false;
        written += static_cast<std::size_t>(n);
    }
    return true;
}

// Forks; the child runs `setup` and then `body`, and sends body's result
// back through a pipe.
std::string runInChild(const std::function<bool()>& setup, const std::function<std::string()>& body,
                       bool& setupFailed) {
    setupFailed = false;
    int channel[2];
    if (::pipe(channel) != 0)
        return "pipe failed: " + std::string(std::strerror(errno));
    const pid_t child = ::fork();
    if (child < 0)
        return "fork failed: " + std::string(std::strerror(errno));
    if (child == 0) {
        ::close(channel[0]);
        if (!setup())
            ::_exit(kSetupFailed);
        std::string result;
        try {
            result = body();
        } catch (const std::exception& error) {
            result = std::string("exception in child: ") + error.what();
        }
        ::_exit(writeAll(channel[1], result) ? 0 : 1);
    }
    ::close(channel[1]);
    std::string result;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(channel[0], buffer, sizeof buffer)) > 0)
        result.append(buffer, static_cast<std::size_t>(n));
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == kSetupFailed) {
        setupFailed = true;
        return "";
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return "child failed with status " + std::to_string(status) + ": " + result;
    return result;
}

} // namespace

namespace {

// Reads a whole memory file from its start.
std::string readAll(int fd) {
    std::string text;
    ::lseek(fd, 0, SEEK_SET);
    char buffer[65536];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<std::size_t>(n));
    return text;
}

// Starts `argv` with the three standard streams on `in`, `out` and `err`;
// returns the child's pid, or -1 when it could not be started.
pid_t spawn(const std::vector<std::string>& argv, int in, int out, int err) {
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(in, STDIN_FILENO);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(err, STDERR_FILENO);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    return child;
}

} // namespace

ProgramRun runProgram(const std::vector<std::string>& argv, const std::string& input) {
    // Memory files rather than pipes: nothing can block on a full pipe.
    const int in = ::memfd_create("stdin", MFD_CLOEXEC);
    const int out = ::memfd_create("stdout", MFD_CLOEXEC);
    const int err = ::memfd_create("stderr", MFD_CLOEXEC);
    ProgramRun run;
    if (in < 0 || out < 0 || err < 0 || !writeAll(in, input) || ::lseek(in, 0, SEEK_SET) != 0) {
        run.err = "could not set up the program's streams";
        return run;
    }
    const pid_t child = spawn(argv, in, out, err);
    int status = 0;
    if (child > 0)
        ::waitpid(child, &status, 0);
    if (child > 0 && WIFEXITED(status))
        run.exitCode = WEXITSTATUS(status);
    run.out = readAll(out);
    run.err = readAll(err);
    ::close(in);
    ::close(out);
    ::close(err);
    return run;
}

pid_t startProgram(const std::vector<std::string>& argv) {
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null < 0)
        return -1;
    const pid_t child = spawn(argv, null, null, null);
    ::close(null);
    return child;
}

std::string copyProgramInto(const std::string& program, const std::string& folder) {
    namespace fs = std::filesystem;
    const fs::path copy = fs::path(folder) / fs::path(program).filename();
    fs::copy_file(program, copy, fs::copy_options::overwrite_existing);
    fs::permissions(copy, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
    return copy.string();
}

bool runningAsRoot() {
    return ::geteuid() == 0;
}

std::string runUnprivileged(const std::function<std::string()>& body) {
    const auto dropRoot = [] {
        if (::geteuid() != 0)
            return true;
        constexpr uid_t nobody = 65534;
        return ::setgroups(0, nullptr) == 0 && ::setgid(nobody) == 0 && ::setuid(nobody) == 0;
    };
    bool setupFailed = false;
    std::string result = runInChild(dropRoot, body, setupFailed);
    return setupFailed ? "could not drop root privileges" : result;
}

std::string runWithMount(const std::string& mountPoint, const std::function<std::string()>& body,
                         bool& available) {
    const auto mountTmpfs = [&mountPoint] {
        return ::unshare(CLONE_NEWNS) == 0 &&
               ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
               ::mount("efr-test", mountPoint.c_str(), "tmpfs", 0, "size=1m") == 0;
    };
    bool setupFailed = false;
    std::string result = runInChild(mountTmpfs, body, setupFailed);
    available = !setupFailed;
    return result;
}

int freeLoopbackPort() {
    const int sock = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (sock >= 0 && ::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(sock, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    if (sock >= 0)
        ::close(sock);
    return port;
}

bool acceptsOnLoopback(int port) {
    const int sock = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool connected = sock >= 0 && ::connect(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (sock >= 0)
        ::close(sock);
    return connected;
}

} // namespace testing_support
