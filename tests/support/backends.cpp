// SPDX-License-Identifier: GPL-3.0-or-later
#include "backends.h"

#include <stdexcept>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace testing_support {

namespace {

void check(int result, const std::string& what) {
    if (result != 0)
        throw std::system_error(errno, std::generic_category(), what);
}

} // namespace

MemoryBackend::MemoryBackend() {
    m_main = "/M";
    memory.addFolder(m_main);
}

void MemoryBackend::folder(const std::string& relative) {
    memory.addFolder(path(relative));
}

void MemoryBackend::file(const std::string& relative, std::uint64_t size) {
    memory.addFile(path(relative), size);
}

void MemoryBackend::textFile(const std::string& relative, const std::string& text) {
    memory.addTextFile(path(relative), text);
}

void MemoryBackend::symlink(const std::string& relative) {
    memory.addOther(path(relative));
}

void MemoryBackend::fifo(const std::string& relative) {
    memory.addOther(path(relative));
}

DiskBackend::DiskBackend() {
    m_main = m_temp / "M";
    check(::mkdir(m_main.c_str(), 0755), "mkdir " + m_main);
}

// Like `mkdir -p` for the folders above `relative`: tests name only the
// deepest entry they need.
void DiskBackend::foldersOnTheWay(const std::string& relative) {
    std::string::size_type slash = 0;
    while ((slash = relative.find('/', slash + 1)) != std::string::npos)
        ::mkdir(path(relative.substr(0, slash)).c_str(), 0755);
}

void DiskBackend::folder(const std::string& relative) {
    foldersOnTheWay(relative);
    check(::mkdir(path(relative).c_str(), 0755), "mkdir " + path(relative));
}

void DiskBackend::textFile(const std::string& relative, const std::string& text) {
    foldersOnTheWay(relative);
    const int fd = ::open(path(relative).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    check(fd < 0 ? -1 : 0, "create " + path(relative));
    const bool whole = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    check(whole ? 0 : -1, "write " + path(relative));
}

void DiskBackend::file(const std::string& relative, std::uint64_t size) {
    const int fd = ::open(path(relative).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    check(fd < 0 ? -1 : 0, "create " + path(relative));
    const int result = ::ftruncate(fd, static_cast<off_t>(size));
    ::close(fd);
    check(result, "size " + path(relative));
}

void DiskBackend::symlink(const std::string& relative) {
    check(::symlink(".", path(relative).c_str()), "symlink " + path(relative));
}

void DiskBackend::fifo(const std::string& relative) {
    check(::mkfifo(path(relative).c_str(), 0644), "mkfifo " + path(relative));
}

std::unique_ptr<Backend> makeBackend(const std::string& name) {
    if (name == "memory")
        return std::make_unique<MemoryBackend>();
    if (name == "disk")
        return std::make_unique<DiskBackend>();
    throw std::invalid_argument("no backend " + name);
}

} // namespace testing_support
