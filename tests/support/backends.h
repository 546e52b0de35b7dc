// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cleaner/file_system.h"
#include "support/memory_file_system.h"
#include "cleaner/posix_file_system.h"
#include "temp_folder.h"

#include <cstdint>
#include <memory>
#include <string>

namespace testing_support {

// A main folder "M" on one of the two file systems, filled by hand, so that
// the same test can run against the memory and the real one.
class Backend {
public:
    virtual ~Backend() = default;
    virtual cleaner::FileSystem& fs() = 0;
    virtual const char* name() const = 0;

    // The main folder, and paths inside it.
    const std::string& main() const { return m_main; }
    std::string path(const std::string& relative) const { return m_main + "/" + relative; }

    virtual void folder(const std::string& relative) = 0;
    virtual void file(const std::string& relative, std::uint64_t size = 0) = 0;
    // A regular file holding `text`; missing folders on the way are made.
    virtual void textFile(const std::string& relative, const std::string& text) = 0;
    virtual void symlink(const std::string& relative) = 0;
    virtual void fifo(const std::string& relative) = 0;

protected:
    std::string m_main;
};

class MemoryBackend final : public Backend {
public:
    MemoryBackend();
    cleaner::FileSystem& fs() override { return memory; }
    const char* name() const override { return "memory"; }
    void folder(const std::string& relative) override;
    void file(const std::string& relative, std::uint64_t size) override;
    void textFile(const std::string& relative, const std::string& text) override;
    void symlink(const std::string& relative) override;
    void fifo(const std::string& relative) override;

    testing_support::MemoryFileSystem memory;
};

class DiskBackend final : public Backend {
public:
    DiskBackend();
    cleaner::FileSystem& fs() override { return m_posix; }
    const char* name() const override { return "disk"; }
    void folder(const std::string& relative) override;
    void file(const std::string& relative, std::uint64_t size) override;
    void textFile(const std::string& relative, const std::string& text) override;
    void symlink(const std::string& relative) override;
    void fifo(const std::string& relative) override;

private:
    void foldersOnTheWay(const std::string& relative);

    TempFolder m_temp;
    cleaner::PosixFileSystem m_posix;
};

std::unique_ptr<Backend> makeBackend(const std::string& name);

} // namespace testing_support
