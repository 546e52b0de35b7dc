// SPDX-License-Identifier: GPL-3.0-or-later
// Which folder paths a configuration file holds, whatever its format.
#include "cleaner/written_paths.h"

#include <gtest/gtest.h>

using cleaner::WrittenIn;
using cleaner::WrittenPath;
using Paths = std::vector<WrittenPath>;

namespace cleaner {
void PrintTo(const WrittenPath& written, std::ostream* out) {
    *out << (written.inHome ? "~/" : "") << written.path;
}
} // namespace cleaner

TEST(WrittenPaths, APathStartsAfterASeparatorAndEndsAtTheNext) {
    struct Case {
        const char* text;
        WrittenIn where;
        Paths expected;
    };
    const Case cases[] = {
        {"[share]\n\tpath = /data/shared\n", WrittenIn::System, {{"/data/shared", false}}},
        {"snapshot_root\t/var/cache/rsnapshot/\n", WrittenIn::System, {{"/var/cache/rsnapshot", false}}},
        {"# olddir /srv/log/old\n", WrittenIn::System, {{"/srv/log/old", false}}}, // commented out counts
        {"<target><path>/data/VMs/isos</path></target>", WrittenIn::System,
         {{"/data/VMs/isos", false}, {"/path", false}, {"/target", false}}},
        {"PATH=/usr/bin:/opt/x/bin;x=(/a),\"/b\" '/c'", WrittenIn::System,
         {{"/usr/bin", false}, {"/opt/x/bin", false}, {"/a", false}, {"/b", false}, {"/c", false}}},
        {"ControlPath ~/.ssh/cm/%C\n", WrittenIn::Home, {{".ssh/cm", true}}},
        {"set directory=~/.vim/swap//\n", WrittenIn::Home, {{".vim/swap", true}}},
        {"a=$HOME/one b=${HOME}/two/ c=~/", WrittenIn::Home, {{"one", true}, {"two", true}}},
        {"ControlPath ~/.ssh/cm/%C\n", WrittenIn::System, {}}, // only a home's files know its home
        {"/cache/*/x /a/./b//c/ /a/../etc / //host/share", WrittenIn::System,
         {{"/cache", false}, {"/a/b/c", false}, {"/host/share", false}}},
        {"olddir app/log/old\nx/etc/y /same /same", WrittenIn::System, {{"/same", false}}},
        {"~/%h /%u/x", WrittenIn::Home, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(cleaner::pathsWrittenIn(c.text, c.where), c.expected) << c.text;
}
