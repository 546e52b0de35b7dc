// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "support/temp_folder.h"

#include <string>

#include <sys/types.h>

namespace bench {

// A tree seen as a network drive: an sshd of our own serves it on the
// loopback address only, and sshfs mounts it read-only, afresh for every
// run, so the client starts cold while the server is warm, as with a NAS on
// a quiet network.
//
// Everything of it lives in its own temporary folder: the host key, the
// client key, the authorized key and the mount point; sshd is given them
// on its command line and reads no configuration of the machine's, and ssh
// none of the user's. It leaves the machine as it found it: the daemon is
// stopped and the folder removed when this object goes. Root only.
class LoopbackSshfs {
public:
    // Installs openssh-server and sshfs from Debian when missing (with
    // services kept from starting), makes the keys and starts sshd.
    // Throws std::runtime_error, saying why, when any of it fails.
    explicit LoopbackSshfs(std::string tree);
    ~LoopbackSshfs();
    LoopbackSshfs(const LoopbackSshfs&) = delete;
    LoopbackSshfs& operator=(const LoopbackSshfs&) = delete;

    // Where the tree is seen once mounted.
    const std::string& mountPoint() const { return m_mountPoint; }
    void mount();
    void unmount();

private:
    void stopServer();

    std::string m_tree;
    testing_support::TempFolder m_folder{"efr-sshfs"};
    std::string m_mountPoint;
    int m_port = 0;
    pid_t m_server = -1;
    bool m_mounted = false;
    bool m_madeRunFolder = false; // /run/sshd, which sshd insists on
};

} // namespace bench
