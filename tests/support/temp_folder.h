// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace testing_support {

// A fresh folder under $TMPDIR (or /tmp), open to every user so that a test
// can look at it as an unprivileged user; removed with everything in it,
// whatever permissions the test left behind.
class TempFolder {
public:
    explicit TempFolder(const std::string& prefix = "efr-test");
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return m_path; }
    // Leaves the folder on disk when this object goes.
    void keep() { m_keep = true; }
    std::string operator/(const std::string& relative) const { return m_path + "/" + relative; }

private:
    std::string m_path;
    bool m_keep = false;
};

// Restores owner access to every folder in the tree and removes it.
void removeTree(const std::string& path);

} // namespace testing_support
