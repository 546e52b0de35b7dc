// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop Trash's files as text: info files whose Path brings any name
// back whole, item names that fit, and directorysizes that keeps what other
// programs wrote.
#include "cleaner/trash_info.h"

#include <gtest/gtest.h>

using cleaner::DirectorySize;
using cleaner::TrashInfo;

TEST(TrashInfo, APathComesBackWholeWhateverBytesItsNamesHold) {
    const std::string names[] = {"plain",          "with space", "100%",     "a+b",  "#hash",   "new\nline",
                                 "bad\xff" "byte", "tab\there",  "\xc3\xa9t\xc3\xa9", "x=y&z", std::string(255, 'n')};
    for (const std::string& name : names) {
        const std::string path = "/home/u/" + name;
        const std::string escaped = cleaner::escapeTrashPath(path);
        EXPECT_EQ(escaped.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~/%"),
                  std::string::npos)
            << escaped;
        EXPECT_EQ(cleaner::unescapeTrashPath(escaped), path) << escaped;
        const TrashInfo info{path, "2026-12-09T03:30:00"};
        EXPECT_EQ(cleaner::parseTrashInfo(cleaner::trashInfoText(info)), info) << name;
    }
    EXPECT_EQ(cleaner::escapeTrashPath("a b/100%/c+d"), "a%20b/100%25/c%2Bd");
    EXPECT_EQ(cleaner::trashInfoText({"rel/x y", "2026-01-02T03:04:05"}),
              "[Trash Info]\nPath=rel/x%20y\nDeletionDate=2026-01-02T03:04:05\n");
    for (const char* broken : {"Path=/x\n", "[Other]\nPath=/x\n", "[Trash Info]\nDeletionDate=x\n",
                               "[Trash Info]\nPath=/bad%zz\n", "[Trash Info]\nPath=/cut%4\n"})
        EXPECT_FALSE(cleaner::parseTrashInfo(broken)) << broken;
    EXPECT_EQ(cleaner::trashDate(0).size(), 19u);
}

TEST(TrashInfo, AnItemsNameFitsBesideItsInfoFileAndKeepsWholeCharacters) {
    EXPECT_EQ(cleaner::trashItemName("cache"), "cache");
    EXPECT_EQ(cleaner::trashItemName("cache", ".2f9a"), "cache.2f9a");
    const std::string longest(255, 'n');
    EXPECT_EQ(cleaner::trashItemName(longest).size() + std::string(".trashinfo").size(), 255u);
    EXPECT_EQ(cleaner::trashItemName(longest, ".2f9a").size() + std::string(".trashinfo").size(), 255u);
    std::string accented;
    for (int i = 0; i < 127; ++i)
        accented += "\xc3\xa9"; // 254 bytes of two-byte characters
    const std::string shortened = cleaner::trashItemName(accented);
    EXPECT_EQ(shortened.size() % 2, 0u) << "no character cut in two";
    EXPECT_LE(shortened.size() + 10, 255u);
}

TEST(TrashInfo, DirectorySizesKeepOtherProgramsLinesAndReplaceOurs) {
    const std::string existing = "4096 1700000000 theirs\n"
                                 "0 1700000001 ours%20old\n"
                                 "malformed line kept as it is\n"
                                 "8192 1700000002 other%0Aname\n";
    EXPECT_EQ(cleaner::updatedDirectorySizes(existing, {{0, 1800000000, "new one"}, {0, 1800000001, "ours old"}},
                                             {"other\nname"}),
              "4096 1700000000 theirs\n"
              "malformed line kept as it is\n"
              "0 1800000000 new%20one\n"
              "0 1800000001 ours%20old\n");
    EXPECT_EQ(cleaner::updatedDirectorySizes("", {}, {"none"}), "");
    EXPECT_EQ(cleaner::updatedDirectorySizes("1 2 a\n", {}, {"a"}), "");
}
