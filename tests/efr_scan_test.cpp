// SPDX-License-Identifier: GPL-3.0-or-later
// The maintainer tool, run as a separate program the way people run it.
#include "support/backends.h"
#include "support/processes.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

using testing_support::DiskBackend;
using testing_support::runProgram;

namespace {

testing_support::ProgramRun efrScan(const std::vector<std::string>& args) {
    std::vector<std::string> argv{EFR_SCAN_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    return runProgram(argv);
}

} // namespace

TEST(EfrScan, PrintsEachEmptyFolderOnALineInListOrder) {
    DiskBackend disk;
    disk.folder("b/c");
    disk.folder("a");
    disk.folder("\xff-odd");
    disk.folder("data/sub");
    disk.file("data/sub/f", 5);

    const auto run = efrScan({disk.main()});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, disk.path("a") + "\n" + disk.path("b") + "\n" + disk.path("b/c") + "\n" +
                           disk.path("\xff-odd") + "\n");
    EXPECT_EQ(run.err, "");
}

TEST(EfrScan, AMainFolderThatCantBeScannedGivesExitThreeAndTheStopLine) {
    DiskBackend disk;
    disk.file("plain", 0);
    const struct {
        std::string path;
        int error;
    } cases[] = {{disk.path("missing"), ENOENT}, {disk.path("plain"), ENOTDIR}};
    for (const auto& c : cases) {
        const auto run = efrScan({c.path});
        EXPECT_EQ(run.exitCode, 3) << c.path;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "scan stopped at " + c.path + ": " + std::strerror(c.error) + "\n");
    }
}

TEST(EfrScan, AStopInsideTheTreeKeepsWhatWasListedBefore) {
    DiskBackend disk;
    disk.folder("1");
    disk.folder("2/locked");
    ASSERT_EQ(::chmod(disk.path("2/locked").c_str(), 0), 0);
    const testing_support::TempFolder programs("efr-program");
    const std::string efrScanCopy = testing_support::copyProgramInto(EFR_SCAN_BINARY, programs.path());
    const std::string seen = testing_support::runUnprivileged([&] {
        const auto run = runProgram({efrScanCopy, disk.main()});
        return std::to_string(run.exitCode) + "|" + run.out + "|" + run.err;
    });
    EXPECT_EQ(seen, "3|" + disk.path("1") + "\n|scan stopped at " + disk.path("2/locked") + ": " +
                        std::strerror(EACCES) + "\n");
}

TEST(EfrScan, UsageErrorsGiveExitTwo) {
    EXPECT_EQ(efrScan({}).exitCode, 2);
    EXPECT_EQ(efrScan({"a", "b"}).exitCode, 2);
    EXPECT_EQ(efrScan({""}).exitCode, 2);
    const auto help = efrScan({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("usage: efr-scan"), std::string::npos);
}

TEST(EfrScanDelete, DeletesTheListedFoldersAndPrintsTheLog) {
    DiskBackend disk;
    disk.folder("a/b");
    disk.folder("c");
    disk.folder("kept");
    disk.file("kept/data", 1);
    std::vector<std::string> argv{EFR_SCAN_BINARY, "--delete", disk.main()};
    // Empty lines are skipped; a listed folder that holds data is kept.
    const std::string input = disk.path("a") + "\n\n" + disk.path("a/b") + "\n" + disk.path("kept") + "\n" +
                              disk.path("c"); // no final newline
    const auto run = runProgram(argv, input);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, disk.path("a") + " has been deleted.\n" + disk.path("a/b") + " has been deleted.\n" +
                           disk.path("kept") + " was not deleted: it is no longer empty.\n" + disk.path("c") +
                           " has been deleted.\n");
    struct stat st {};
    EXPECT_NE(::stat(disk.path("a").c_str(), &st), 0);
    EXPECT_EQ(::stat(disk.path("kept/data").c_str(), &st), 0);
}

TEST(EfrScanDelete, NoInputDeletesNothingAndTheMainFolderIsRequired) {
    DiskBackend disk;
    const auto run = runProgram({EFR_SCAN_BINARY, "--delete", disk.main()}, "\n\n");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(runProgram({EFR_SCAN_BINARY, "--delete"}, disk.main() + "/a\n").exitCode, 2);
    EXPECT_EQ(runProgram({EFR_SCAN_BINARY, "--delete", "-0"}, "").exitCode, 2);
}

// A name holding a newline splits a line in two: the second half could name
// any folder outside, here a real one. Such a line is refused; with -0 the
// paths pass through whole.
TEST(EfrScanDelete, NamesWithNewlinesNeverSteerTheDeletionOutside) {
    DiskBackend disk;
    const testing_support::TempFolder elsewhere("efr-victim");
    const std::string victim = elsewhere / "V";
    ASSERT_EQ(::mkdir(victim.c_str(), 0755), 0);
    disk.folder("x\n" + victim); // "x\n", then the victim's path as folders beneath it
    const auto listed = efrScan({disk.main()});
    ASSERT_EQ(listed.exitCode, 0);

    const auto lineByLine = runProgram({EFR_SCAN_BINARY, "--delete", disk.main()}, listed.out);
    EXPECT_NE(lineByLine.out.find(victim + " could not be deleted: it is not inside the main folder.\n"),
              std::string::npos)
        << lineByLine.out;
    EXPECT_TRUE(::access(victim.c_str(), F_OK) == 0) << "the folder outside is still there";

    const auto whole = efrScan({"-0", disk.main()});
    ASSERT_EQ(whole.exitCode, 0);
    EXPECT_EQ(whole.out.substr(0, disk.path("x\n").size() + 1), disk.path("x\n") + '\0');
    const auto deleted = runProgram({EFR_SCAN_BINARY, "--delete", "-0", disk.main()}, whole.out);
    EXPECT_EQ(deleted.out.substr(0, disk.path("x\n").size() + 19),
              disk.path("x\n") + " has been deleted." + '\0');
    EXPECT_NE(::access(disk.path("x\n").c_str(), F_OK), 0);
    EXPECT_TRUE(::access(victim.c_str(), F_OK) == 0);
}

// After `git gc` with no remote branches, refs/heads and refs/tags are empty,
// yet git needs them. A repository and a bare clone come through the scan,
// and through a deletion of every folder in the tree, whole.
TEST(EfrScanKept, GitRepositoriesSurviveAScanAndADeletionOfEveryFolder) {
    ASSERT_EQ(runProgram({"git", "--version"}).exitCode, 0) << "scripts/test.sh installs git";
    DiskBackend disk;
    const std::string repo = disk.path("proj");
    const std::string bare = disk.path("bare.git");
    const std::vector<std::vector<std::string>> setUp = {
        {"git", "init", "-q", repo},
        {"git", "-C", repo, "-c", "user.name=T", "-c", "user.email=t@example.org", "commit", "-q",
         "--allow-empty", "-m", "first"},
        {"git", "-C", repo, "gc", "-q"},
        {"git", "clone", "-q", "--bare", repo, bare},
    };
    for (const auto& command : setUp)
        ASSERT_EQ(runProgram(command).exitCode, 0) << command[1] << " " << command[2];
    disk.folder("empty");

    const auto kept = efrScan({"--kept", disk.main()});
    EXPECT_EQ(kept.exitCode, 0);
    EXPECT_EQ(kept.out, bare + " was kept: it is part of a git repository.\n" + repo +
                            "/.git was kept: it is part of a git repository.\n");
    const auto keptInside = efrScan({"--kept", "-0", repo + "/.git/refs"});
    EXPECT_EQ(keptInside.out, repo + "/.git/refs was kept: it is part of a git repository." + '\0');

    const auto listed = efrScan({"-0", disk.main()});
    EXPECT_EQ(listed.out, disk.path("empty") + '\0');
    const auto everyFolder = runProgram({"find", disk.main(), "-mindepth", "1", "-type", "d", "-print0"});
    const auto deleted = runProgram({EFR_SCAN_BINARY, "--delete", "-0", disk.main()}, everyFolder.out);
    EXPECT_NE(deleted.out.find(disk.path("empty") + " has been deleted."), std::string::npos);
    EXPECT_EQ(deleted.out.find(" has been deleted."), deleted.out.rfind(" has been deleted.")) << deleted.out;
    EXPECT_NE(deleted.out.find(repo + "/.git/refs/heads was not deleted: it is part of a git repository."),
              std::string::npos);

    EXPECT_EQ(runProgram({"git", "-C", repo, "fsck", "--no-progress"}).exitCode, 0);
    EXPECT_EQ(runProgram({"git", "-C", bare, "fsck", "--no-progress"}).exitCode, 0);
    EXPECT_EQ(runProgram({"git", "-C", repo, "log", "--oneline"}).exitCode, 0);
}

// Subversion and OSTree keep empty folders in their repositories, and a
// work tree cloned without its submodules holds an empty folder for each;
// tracked .gitkeep files hold folders a project wants. All of them come
// through a scan and the deletion of everything it lists, and each program
// says all is well afterwards.
TEST(EfrScanKept, SubversionOstreeAndGitWorkTreesSurviveADeletionOfTheWholeList) {
    for (const char* program : {"svnadmin", "svn", "ostree", "git"})
        ASSERT_EQ(runProgram({program, "--version"}).exitCode, 0) << "scripts/test.sh installs " << program;
    DiskBackend disk;
    const std::string svnRepo = disk.path("svnrepo");
    const std::string wc = disk.path("wc");
    const std::string ostreeRepo = disk.path("ostree");
    const std::string lib = disk.path("lib");
    const std::string app = disk.path("app");
    const std::string clone = disk.path("clone");
    disk.folder("tree/usr/share");
    disk.file("tree/usr/share/f", 3);
    const std::vector<std::string> git = {"git", "-c", "user.name=T", "-c", "user.email=t@example.org",
                                          "-c", "protocol.file.allow=always"};
    const auto gitIn = [&git](const std::string& repo, std::vector<std::string> args) {
        std::vector<std::string> argv = git;
        argv.insert(argv.end(), {"-C", repo});
        argv.insert(argv.end(), args.begin(), args.end());
        return argv;
    };
    const std::vector<std::vector<std::string>> setUp = {
        {"svnadmin", "create", svnRepo},
        {"svn", "checkout", "-q", "file://" + svnRepo, wc},
        {"ostree", "--repo=" + ostreeRepo, "init", "--mode=archive"},
        {"ostree", "--repo=" + ostreeRepo, "commit", "--branch=main", "-s", "first", disk.path("tree")},
        {"git", "init", "-q", lib},
        gitIn(lib, {"commit", "-q", "--allow-empty", "-m", "lib"}),
        {"git", "init", "-q", app},
        gitIn(app, {"submodule", "add", "-q", lib, "vendor/lib"}),
    };
    for (const auto& command : setUp)
        ASSERT_EQ(runProgram(command).exitCode, 0) << command[0] << " " << command[1] << " " << command[2];
    disk.file("wc/a.txt", 3);
    for (const auto& command : {std::vector<std::string>{"svn", "add", "-q", wc + "/a.txt"},
                                std::vector<std::string>{"svn", "commit", "-q", "-m", "first", wc}})
        ASSERT_EQ(runProgram(command).exitCode, 0) << command[1];
    disk.folder("app/data/raw");
    disk.folder("app/lib/tasks");
    disk.file("app/data/raw/.gitkeep", 0);
    disk.file("app/lib/tasks/.keep", 0);
    for (const auto& command : {gitIn(app, {"add", "-A"}), gitIn(app, {"commit", "-q", "-m", "app"}),
                                std::vector<std::string>{"git", "clone", "-q", app, clone}})
        ASSERT_EQ(runProgram(command).exitCode, 0) << command.back();
    disk.folder("empty/inside");

    const auto kept = efrScan({"--kept", disk.main()});
    for (const std::string& line : {ostreeRepo + " was kept: it is part of an OSTree repository.\n",
                                    svnRepo + " was kept: it is part of a Subversion repository.\n",
                                    clone + "/vendor/lib was kept: it is a git submodule (" + clone +
                                        "/.gitmodules).\n"})
        EXPECT_NE(kept.out.find(line), std::string::npos) << line << kept.out;

    const auto listed = efrScan({"-0", disk.main()});
    EXPECT_EQ(listed.out, disk.path("empty") + '\0' + disk.path("empty/inside") + '\0');
    const auto deleted = runProgram({EFR_SCAN_BINARY, "--delete", "-0", disk.main()}, listed.out);
    EXPECT_EQ(deleted.exitCode, 0) << deleted.out;
    EXPECT_NE(::access(disk.path("empty").c_str(), F_OK), 0);

    disk.file("wc/b.txt", 3);
    EXPECT_EQ(runProgram({"svn", "add", "-q", wc + "/b.txt"}).exitCode, 0);
    const auto commit = runProgram({"svn", "commit", "-q", "-m", "second", wc});
    EXPECT_EQ(commit.exitCode, 0) << commit.err;
    const auto refs = runProgram({"ostree", "--repo=" + ostreeRepo, "refs"});
    EXPECT_EQ(refs.out, "main\n") << refs.err;
    EXPECT_EQ(runProgram({"ostree", "--repo=" + ostreeRepo, "fsck", "-q"}).exitCode, 0);
    for (const std::string& tree : {app, clone}) {
        const auto status = runProgram(gitIn(tree, {"status", "--porcelain"}));
        EXPECT_EQ(status.exitCode, 0) << tree;
        EXPECT_EQ(status.out, "") << tree;
    }
}

TEST(EfrScan, AThreadCountOutOfRangeIsAUsageError) {
    DiskBackend disk;
    disk.folder("e");
    for (const char* count : {"100000", "1025", "4294967297", "-1", "+2", "", "2x"}) {
        const auto run = efrScan({"--threads", count, disk.main()});
        EXPECT_EQ(run.exitCode, 2) << "--threads '" << count << "'";
        EXPECT_EQ(run.out, "") << count;
    }
    for (const char* count : {"0", "1", "1024"}) {
        const auto run = efrScan({"--threads", count, disk.main()});
        EXPECT_EQ(run.exitCode, 0) << count;
        EXPECT_EQ(run.out, disk.path("e") + "\n") << count;
    }
}
