#include "spill_file.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string Directory(const std::string& chosen) {
    if (!chosen.empty()) return chosen;
    const char* tmp = std::getenv("TMPDIR");
    struct stat st;
    if (tmp && *tmp && ::stat(tmp, &st) == 0 && S_ISDIR(st.st_mode)) return tmp;
    return "/var/tmp";
}

} // namespace

bool SpillFile::Open(const std::string& dir) {
    if (IsOpen()) return true;
    const std::string where = Directory(dir);
    // No name at all: the file goes with its last descriptor.
    int fd = ::open(where.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
        // A file system without O_TMPFILE: a named file, unlinked at once.
        std::string pattern = where + "/quorvane-memo-XXXXXX";
        fd = ::mkostemp(pattern.data(), O_CLOEXEC);
        if (fd >= 0) ::unlink(pattern.c_str());
    }
    handle_ = fd < 0 ? kNone : fd;
    return IsOpen();
}

bool SpillFile::Write(std::uint64_t offset, const char* data, std::size_t size) {
    if (!IsOpen()) return false;
    const int fd = static_cast<int>(handle_);
    for (std::size_t done = 0; done < size;) {
        ssize_t n = ::pwrite(fd, data + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            Truncate(offset); // the disk is full: give back what part did land
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool SpillFile::Read(std::uint64_t offset, char* data, std::size_t size) const {
    if (!IsOpen()) return false;
    const int fd = static_cast<int>(handle_);
    for (std::size_t done = 0; done < size;) {
        ssize_t n = ::pread(fd, data + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

void SpillFile::Truncate(std::uint64_t size) {
    if (IsOpen()) [[maybe_unused]]
        int ignored = ::ftruncate(static_cast<int>(handle_), static_cast<off_t>(size));
}

void SpillFile::Close() {
    if (IsOpen()) ::close(static_cast<int>(handle_));
    handle_ = kNone;
}

std::uint64_t PhysicalMemory() {
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGE_SIZE);
    return pages > 0 && pageSize > 0 ? std::uint64_t(pages) * std::uint64_t(pageSize) : 0;
}
