// SPDX-License-Identifier: GPL-3.0-or-later
// How the window shows a name: controls, bidirectional controls and bytes
// that are not UTF-8 written out, so that no two names look alike.
#include "cleaner/visible_name.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

using cleaner::visibleName;

TEST(VisibleName, ControlsBidiControlsAndBadBytesAreWrittenOut) {
    const std::pair<std::string, std::string> cases[] = {
        {"Holiday photos 2019", "Holiday photos 2019"},
        {"caf\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x93\x81",
         "caf\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x93\x81"},
        {"line\nbreak", "line\\nbreak"},
        {"a\tb\rc", "a\\tb\\rc"},
        {std::string("nul\0x", 5), "nul\\x00x"},
        {"\x01\x1b\x1f", "\\x01\\x1b\\x1f"},
        {"del\x7f", "del\\x7f"},
        {"c1\xc2\x80\xc2\x85\xc2\x9f", "c1\\u0080\\u0085\\u009f"},
        {"nbsp\xc2\xa0", "nbsp\xc2\xa0"},
        {"\xe2\x80\x8e\xe2\x80\x8f", "\\u200e\\u200f"},
        {"\xe2\x80\xaa\xe2\x80\xab\xe2\x80\xac\xe2\x80\xad\xe2\x80\xae",
         "\\u202a\\u202b\\u202c\\u202d\\u202e"},
        {"\xe2\x81\xa6\xe2\x81\xa7\xe2\x81\xa8\xe2\x81\xa9", "\\u2066\\u2067\\u2068\\u2069"},
        {"\xe2\x80\xaelive", "\\u202elive"},
        {"hy\xe2\x80\x90phen", "hy\xe2\x80\x90phen"},
        {"\xff\xfe", "\\xff\\xfe"},
        {"cut\xc3", "cut\\xc3"},
        {"\xc0\xaf", "\\xc0\\xaf"},                   // overlong "/"
        {"\xed\xa0\x80", "\\xed\\xa0\\x80"},          // a surrogate
        {"\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"}, // past U+10FFFF
        {"\xe6\x97x", "\\xe6\\x97x"},                 // cut short by ASCII
        {"back\\slash", "back\\\\slash"},
        {"\\x7f", "\\\\x7f"},
    };
    for (const auto& [name, shown] : cases)
        EXPECT_EQ(visibleName(name), shown) << shown;

    const std::string longName = std::string(200, 'a') + "\n" + std::string(54, 'b');
    EXPECT_EQ(visibleName("/srv/" + longName),
              "/srv/" + std::string(200, 'a') + "\\n" + std::string(54, 'b'));
}

// Any two different names show differently: random names made of the bytes
// that matter most, each shown form met once.
TEST(VisibleName, NoTwoNamesLookAlike) {
    const std::string alphabet =
        std::string("a\\nx0u\n\x7f\xc2\x85\xe2\x80\xae\xff", 15) + std::string(1, '\0');
    std::mt19937 random(5);
    std::map<std::string, std::string> seen; // shown -> name
    for (int i = 0; i < 20000; ++i) {
        std::string name;
        for (int length = 1 + static_cast<int>(random() % 6); length > 0; --length)
            name.push_back(alphabet[random() % alphabet.size()]);
        const auto [it, added] = seen.emplace(visibleName(name), name);
        EXPECT_TRUE(added || it->second == name) << "'" << it->first << "' shows two names";
    }
    EXPECT_GT(seen.size(), 10000u);
}
