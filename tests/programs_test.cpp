// SPDX-License-Identifier: GPL-3.0-or-later
// Programs that keep empty folders by design, set up by the programs
// themselves, then everything efr-scan lists deleted, and each program used
// again: it must still work.
#include "support/backends.h"
#include "support/processes.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <thread>

#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using testing_support::DiskBackend;
using testing_support::runProgram;

namespace {

testing_support::ProgramRun efrScan(const std::vector<std::string>& args, const std::string& input = "") {
    std::vector<std::string> argv{EFR_SCAN_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    return runProgram(argv, input);
}

// efr-scan -0 MAIN | efr-scan --delete -0 MAIN: Mark All, then Delete.
std::string deleteEverythingListed(const std::string& main) {
    const auto listed = efrScan({"-0", main});
    return efrScan({"--delete", "-0", main}, listed.out).out;
}

void write(const std::string& path, const std::string& text) {
    std::ofstream(path) << text;
}

bool isFolder(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool have(const char* program) {
    return runProgram({"sh", "-c", std::string("command -v ") + program}).exitCode == 0;
}

#define REQUIRE_PROGRAMS(...)                                                                    \
    for (const char* program : {__VA_ARGS__})                                                    \
        if (!have(program))                                                                      \
            GTEST_SKIP() << program << " is not installed (scripts/test.sh installs it)";

} // namespace

TEST(Programs, ASubversionWorkingCopyKeepsItsVersionedEmptyFolders) {
    REQUIRE_PROGRAMS("svn", "svnadmin");
    DiskBackend disk;
    const std::string repo = disk.path("repo");
    const std::string wc = disk.path("wc");
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"svnadmin", "create", repo},
          {"svn", "checkout", "-q", "file://" + repo, wc},
          {"svn", "mkdir", "-q", wc + "/build", wc + "/docs", wc + "/docs/drafts"},
          {"svn", "commit", "-q", "-m", "folders", wc}})
        ASSERT_EQ(runProgram(command).exitCode, 0) << command[1];

    EXPECT_NE(efrScan({"--kept", disk.main()}).out.find(wc + " was kept: it is versioned by Subversion.\n"),
              std::string::npos);
    deleteEverythingListed(disk.main());
    for (const char* folder : {"/build", "/docs/drafts"})
        EXPECT_TRUE(isFolder(wc + folder)) << folder;
    const auto status = runProgram({"svn", "status", wc});
    EXPECT_EQ(status.exitCode, 0);
    EXPECT_EQ(status.out, "") << "nothing missing";
    write(wc + "/docs/drafts/a.txt", "text\n");
    EXPECT_EQ(runProgram({"svn", "add", "-q", wc + "/docs/drafts/a.txt"}).exitCode, 0);
    EXPECT_EQ(runProgram({"svn", "commit", "-q", "-m", "a draft", wc}).exitCode, 0);
}

TEST(Programs, ACMakeBuildTreeStillBuildsAfterMakeClean) {
    REQUIRE_PROGRAMS("cmake", "make", "cc");
    DiskBackend disk;
    const std::string source = disk.path("src");
    const std::string build = disk.path("build");
    disk.textFile("src/CMakeLists.txt", "cmake_minimum_required(VERSION 3.16)\nproject(p C)\n"
                                        "add_library(util STATIC lib/util.c)\n");
    disk.textFile("src/lib/util.c", "int util(void) { return 1; }\n");
    for (const std::vector<std::string>& command : {std::vector<std::string>{"cmake", "-S", source, "-B", build,
                                                                             "-G", "Unix Makefiles"},
                                                    {"make", "-s", "-C", build},
                                                    {"make", "-s", "-C", build, "clean"}})
        ASSERT_EQ(runProgram(command).exitCode, 0) << command[0] << " " << command.back();
    ASSERT_TRUE(isFolder(build + "/CMakeFiles/util.dir/lib")) << "make clean leaves it empty";

    deleteEverythingListed(disk.main());
    EXPECT_TRUE(isFolder(build + "/CMakeFiles/util.dir/lib"));
    const auto make = runProgram({"make", "-s", "-C", build});
    EXPECT_EQ(make.exitCode, 0) << make.err;
}

// Vim writes swap, backup and undo files into folders its vimrc names,
// and makes none of them.
TEST(Programs, VimStillWritesWithItsSwapBackupAndUndoFolders) {
    REQUIRE_PROGRAMS("vim");
    DiskBackend disk;
    const std::string home = disk.path("me");
    disk.textFile("me/.profile", "# a home\n");
    disk.textFile("me/.vimrc", "set directory=~/.vim/swap//\nset backupdir=~/.vim/backup//\n"
                               "set undodir=~/.vim/undo//\nset backup writebackup undofile\n");
    for (const char* folder : {"me/.vim/swap", "me/.vim/backup", "me/.vim/undo"})
        disk.folder(folder);
    disk.textFile("me/notes.txt", "old\n");
    const auto edit = [&] {
        return runProgram({"env", "HOME=" + home, "vim", "-u", home + "/.vimrc", "-i", "NONE", "-N", "-X", "-es",
                           "-c", "normal Gonew", "-c", "wq", home + "/notes.txt"});
    };

    for (const std::string& main : {disk.main(), home + "/.vim"}) { // the home, and the folder opened on purpose
        deleteEverythingListed(main);
        for (const char* folder : {"/.vim/swap", "/.vim/backup", "/.vim/undo"})
            EXPECT_TRUE(isFolder(home + folder)) << main << ": " << folder;
        const auto run = edit();
        EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    }
    std::ifstream notes(home + "/notes.txt");
    const std::string text{std::istreambuf_iterator<char>(notes), std::istreambuf_iterator<char>()};
    EXPECT_EQ(text, "old\nnew\nnew\n");
}

// ssh's master connection listens on a socket in the folder ControlPath
// names; the server here is an sshd run by ssh itself (ProxyCommand), with
// keys of the test's own, so no port is opened.
TEST(Programs, SshStillConnectsThroughItsControlMasterFolder) {
    REQUIRE_PROGRAMS("ssh", "ssh-keygen", "/usr/sbin/sshd");
    if (!testing_support::runningAsRoot())
        GTEST_SKIP() << "the test's sshd logs in as root";
    testing_support::TempFolder keys("efr-keys");
    for (const char* key : {"host_key", "client_key"})
        ASSERT_EQ(runProgram({"ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", keys / key}).exitCode, 0);
    ASSERT_EQ(runProgram({"cp", keys / "client_key.pub", keys / "authorized_keys"}).exitCode, 0);
    const bool madeRunFolder = ::mkdir("/run/sshd", 0755) == 0; // sshd's privilege separation

    DiskBackend disk;
    const std::string home = disk.path("me");
    disk.textFile("me/.profile", "# a home\n");
    disk.folder("me/.ssh/cm");
    disk.textFile("me/.ssh/config",
                  "Host efr-test\n  HostName 127.0.0.1\n  User root\n  BatchMode yes\n  IdentitiesOnly yes\n"
                  "  IdentityFile " + keys / "client_key" + "\n  StrictHostKeyChecking no\n"
                  "  UserKnownHostsFile /dev/null\n  LogLevel ERROR\n  ControlMaster auto\n"
                  "  ControlPath " + home + "/.ssh/cm/%C\n  ControlPersist no\n"
                  "  ProxyCommand /usr/sbin/sshd -i -f /dev/null -h " + keys / "host_key" +
                  " -o AuthorizedKeysFile=" + keys / "authorized_keys" +
                  " -o UsePAM=no -o StrictModes=no -o PermitRootLogin=prohibit-password\n");
    const auto connect = [&] { return runProgram({"ssh", "-F", home + "/.ssh/config", "efr-test", "echo", "in"}); };
    const auto before = connect();
    ASSERT_EQ(before.exitCode, 0) << before.err;

    for (const std::string& main : {disk.main(), home + "/.ssh"}) {
        deleteEverythingListed(main);
        EXPECT_TRUE(isFolder(home + "/.ssh/cm")) << main;
        const auto after = connect();
        EXPECT_EQ(after.exitCode, 0) << main << ": " << after.err;
        EXPECT_EQ(after.out, "in\n");
    }
    if (madeRunFolder)
        ::rmdir("/run/sshd");
}

// A Squid cache as squid -z makes it (folders 00 to 0F, each holding 00
// to FF; no swap.state until Squid first runs), then started.
TEST(Programs, SquidStillStartsOnItsCacheFolders) {
    REQUIRE_PROGRAMS("squid");
    if (!testing_support::runningAsRoot())
        GTEST_SKIP() << "squid -z runs as root and drops to its own user";
    const passwd* proxy = ::getpwnam("proxy");
    ASSERT_NE(proxy, nullptr);
    DiskBackend disk;
    const std::string cache = disk.path("spool/squid");
    const int port = testing_support::freeLoopbackPort();
    ASSERT_NE(port, 0);
    disk.folder("spool/squid");
    disk.textFile("me/.profile", "# a home\n");
    const std::string config = disk.path("me/.config/squid/squid.conf");
    disk.textFile("me/.config/squid/squid.conf",
                  "http_port 127.0.0.1:" + std::to_string(port) + "\ncache_dir ufs " + cache +
                      " 10 16 256\npid_filename none\ncache_log /dev/null\naccess_log none\n"
                      "cache_store_log none\ncache_effective_user proxy\nshutdown_lifetime 0 seconds\n"
                      "visible_hostname efr-test\n");
    ASSERT_EQ(::chown(cache.c_str(), proxy->pw_uid, proxy->pw_gid), 0); // squid's own user fills it
    const auto made = runProgram({"squid", "-N", "-z", "-f", config});
    if (made.exitCode != 0 && made.err.find("shm_open") != std::string::npos)
        GTEST_SKIP() << "squid needs shared memory (/dev/shm), which this machine does not have";
    ASSERT_EQ(made.exitCode, 0) << made.err;
    ASSERT_TRUE(isFolder(cache + "/0F/FF"));

    EXPECT_NE(efrScan({"--kept", disk.main()}).out.find(cache + " was kept: Squid needs it.\n"), std::string::npos);
    deleteEverythingListed(disk.main());
    ASSERT_TRUE(isFolder(cache + "/0F/FF"));

    const pid_t squid = testing_support::startProgram({"squid", "-N", "-f", config});
    ASSERT_GT(squid, 0);
    bool serving = false;
    int status = 0;
    for (int attempt = 0; attempt < 200 && !serving; ++attempt) {
        if (::waitpid(squid, &status, WNOHANG) == squid)
            break; // it gave up: a swap folder it needs is gone
        serving = testing_support::acceptsOnLoopback(port);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_TRUE(serving) << "squid did not start";
    if (serving) {
        ::kill(squid, SIGTERM);
        ::waitpid(squid, &status, 0);
    }
    EXPECT_EQ(::access((cache + "/swap.state").c_str(), F_OK), 0) << "squid ran on it";
}

// What efr-scan --trash moves is what trash-cli, as the desktop's Trash
// tools do, lists and puts back.
TEST(Programs, TrashCliListsAndRestoresWhatTrashMoved) {
    REQUIRE_PROGRAMS("trash-list", "trash-restore");
    DiskBackend disk;
    testing_support::TempFolder data("efr-data");
    disk.folder("old build/obj");
    disk.folder("100% done");
    const std::string env = "XDG_DATA_HOME=" + data.path();
    const auto listed = efrScan({"-0", disk.main()});
    const auto moved = runProgram({"env", env, EFR_SCAN_BINARY, "--trash", "-0", disk.main()}, listed.out);
    EXPECT_EQ(moved.out, disk.path("100% done") + " has been moved to the Trash." + '\0' + disk.path("old build") +
                             " has been moved to the Trash." + '\0' + disk.path("old build/obj") +
                             " has been moved to the Trash." + '\0');
    EXPECT_FALSE(isFolder(disk.path("old build")));

    const auto list = runProgram({"env", env, "trash-list"});
    EXPECT_EQ(list.exitCode, 0) << list.err;
    for (const char* name : {"/100% done\n", "/old build\n"})
        EXPECT_NE(list.out.find(disk.main() + name), std::string::npos) << list.out;
    const auto restore = runProgram({"env", env, "trash-restore", disk.path("old build")}, "0\n");
    EXPECT_EQ(restore.exitCode, 0) << restore.err;
    EXPECT_TRUE(isFolder(disk.path("old build/obj"))) << restore.out;
}

// The desktop's own Trash reader (gio, through gvfs) lists each item under
// the path it came from, whatever bytes the name holds, up to 255 of them.
TEST(Programs, GioListsWhatTrashMovedUnderItsOwnPath) {
    REQUIRE_PROGRAMS("gio", "dbus-run-session");
    if (::access("/usr/libexec/gvfsd-trash", X_OK) != 0)
        GTEST_SKIP() << "gvfs is not installed (scripts/test.sh installs it)";
    DiskBackend disk;
    testing_support::TempFolder data("efr-data");
    struct Name {
        std::string onDisk;
        std::string asGioWritesIt;
    };
    const std::vector<Name> names{{"a b", "a b"},           {"100%", "100%"},
                                  {"c+d", "c+d"},           {"e#f", "e#f"},
                                  {"bad\xff", "bad\\xff"}, {"two\nlines", "two\\x0alines"},
                                  {std::string(255, 'n'), std::string(255, 'n')}};
    std::string input;
    for (const Name& name : names) {
        disk.folder(name.onDisk);
        input += disk.path(name.onDisk) + '\0';
    }
    const std::string env = "XDG_DATA_HOME=" + data.path();
    const auto moved = runProgram({"env", env, EFR_SCAN_BINARY, "--trash", "-0", disk.main()}, input);
    ASSERT_EQ(moved.exitCode, 0) << moved.err;

    const auto list = runProgram({"env", env, "dbus-run-session", "--", "gio", "trash", "--list"});
    EXPECT_EQ(list.exitCode, 0) << list.err;
    for (const Name& name : names) {
        const std::string line = '\t' + disk.path(name.asGioWritesIt) + '\n'; // the original path's column
        EXPECT_NE(list.out.find(line), std::string::npos) << name.asGioWritesIt << " in\n" << list.out;
    }
}
