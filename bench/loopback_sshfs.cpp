// SPDX-License-Identifier: GPL-3.0-or-later
#include "loopback_sshfs.h"

#include "support/processes.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace bench {

namespace {

constexpr const char* kSshd = "/usr/sbin/sshd";

// Runs a program to its end; throws, naming it and saying why, when it fails.
void run(const std::vector<std::string>& argv) {
    const testing_support::ProgramRun result = testing_support::runProgram(argv);
    if (result.exitCode != 0)
        throw std::runtime_error(argv.front() + " failed: " + result.err.substr(0, result.err.find('\n')));
}

bool installed(const char* package) {
    return testing_support::runProgram({"dpkg-query", "-W", "-f=${Status}", package}).out ==
           "install ok installed";
}

// Installing openssh-server would start the machine's own sshd, listening
// beyond the loopback address; a policy-rc.d that refuses every start keeps
// that from happening, and goes again afterwards if it was ours.
void installMissing() {
    std::vector<std::string> missing;
    for (const char* package : {"openssh-server", "sshfs"})
        if (!installed(package))
            missing.push_back(package);
    if (missing.empty())
        return;
    std::printf("installing %s%s%s\n", missing[0].c_str(), missing.size() > 1 ? " and " : "",
                missing.size() > 1 ? missing[1].c_str() : "");
    std::fflush(stdout);
    const char* policy = "/usr/sbin/policy-rc.d";
    const bool ownPolicy = ::access(policy, F_OK) != 0;
    if (ownPolicy) {
        std::FILE* file = std::fopen(policy, "w");
        if (!file || std::fputs("#!/bin/sh\nexit 101\n", file) < 0 || std::fclose(file) != 0 ||
            ::chmod(policy, 0755) != 0)
            throw std::runtime_error("cannot keep services from starting during the install");
    }
    ::setenv("DEBIAN_FRONTEND", "noninteractive", 1);
    std::vector<std::string> install = {"apt-get", "install", "-y", "-q", "--no-install-recommends"};
    install.insert(install.end(), missing.begin(), missing.end());
    const bool done = testing_support::runProgram({"apt-get", "update", "-q"}).exitCode == 0 &&
                      testing_support::runProgram(install).exitCode == 0;
    if (ownPolicy)
        ::unlink(policy);
    if (!done)
        throw std::runtime_error("apt-get could not install openssh-server and sshfs");
}

} // namespace

LoopbackSshfs::LoopbackSshfs(std::string tree) : m_tree(std::move(tree)) {
    if (::geteuid() != 0)
        throw std::runtime_error("--sshfs starts an sshd of its own, which only root may do");
    installMissing();
    const std::string folder = m_folder.path();
    m_mountPoint = m_folder / "mnt";
    if (::mkdir(m_mountPoint.c_str(), 0755) != 0)
        throw std::runtime_error("cannot make " + m_mountPoint);
    for (const char* key : {"host_key", "client_key"})
        run({"ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-C", "efr-bench", "-f", m_folder / key});
    run({"cp", m_folder / "client_key.pub", m_folder / "authorized_keys"});
    if (::mkdir("/run/sshd", 0755) == 0)
        m_madeRunFolder = true;

    m_port = testing_support::freeLoopbackPort();
    if (m_port == 0)
        throw std::runtime_error("no free port on the loopback address");
    m_server = testing_support::startProgram({kSshd,
                                  "-D",
                                  "-e",
                                  "-f",
                                  "/dev/null",
                                  "-h",
                                  m_folder / "host_key",
                                  "-p",
                                  std::to_string(m_port),
                                  "-o",
                                  "ListenAddress=127.0.0.1",
                                  "-o",
                                  "AuthorizedKeysFile=" + (m_folder / "authorized_keys"),
                                  "-o",
                                  "PidFile=" + (m_folder / "sshd.pid"),
                                  "-o",
                                  "UsePAM=no",
                                  "-o",
                                  "PasswordAuthentication=no",
                                  "-o",
                                  "KbdInteractiveAuthentication=no",
                                  "-o",
                                  "PermitRootLogin=prohibit-password",
                                  "-o",
                                  "StrictModes=no",
                                  "-o",
                                  "Subsystem=sftp internal-sftp"});
    for (int attempt = 0; attempt < 100 && !testing_support::acceptsOnLoopback(m_port); ++attempt)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (!testing_support::acceptsOnLoopback(m_port)) {
        stopServer();
        throw std::runtime_error("sshd did not start on 127.0.0.1");
    }
}

LoopbackSshfs::~LoopbackSshfs() {
    unmount();
    stopServer();
}

void LoopbackSshfs::mount() {
    unmount();
    run({"sshfs", "-F", "/dev/null", "-p", std::to_string(m_port), "root@127.0.0.1:" + m_tree, m_mountPoint,
         "-o",
         "ro,IdentityFile=" + (m_folder / "client_key") +
             ",IdentitiesOnly=yes,BatchMode=yes,StrictHostKeyChecking=no,UserKnownHostsFile=/dev/"
             "null,LogLevel=ERROR"});
    m_mounted = true;
}

void LoopbackSshfs::unmount() {
    if (!m_mounted)
        return;
    m_mounted = false;
    if (testing_support::runProgram({"fusermount3", "-u", m_mountPoint}).exitCode != 0)
        testing_support::runProgram({"umount", "-l", m_mountPoint});
}

void LoopbackSshfs::stopServer() {
    if (m_server > 0) {
        ::kill(m_server, SIGTERM);
        int status = 0;
        while (::waitpid(m_server, &status, 0) < 0 && errno == EINTR) {
        }
        m_server = -1;
    }
    if (m_madeRunFolder) {
        ::rmdir("/run/sshd");
        m_madeRunFolder = false;
    }
}

} // namespace bench
