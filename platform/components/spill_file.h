// The line store's temporary file: made on first need in a directory of temporary files,
// seen by no other program, and gone with the process, even after a crash. One
// implementation per platform, chosen by the build.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class SpillFile {
  public:
    SpillFile() = default;
    ~SpillFile() { Close(); }
    SpillFile(const SpillFile&) = delete;
    SpillFile& operator=(const SpillFile&) = delete;

    // dir empty: the platform's place for temporary files.
    bool Open(const std::string& dir);
    bool IsOpen() const { return handle_ != kNone; }
    // All or nothing.
    bool Write(std::uint64_t offset, const char* data, std::size_t size);
    bool Read(std::uint64_t offset, char* data, std::size_t size) const;
    // Gives back the space past size.
    void Truncate(std::uint64_t size);
    void Close();

  private:
    static constexpr std::intptr_t kNone = -1;
    std::intptr_t handle_ = kNone;
};

// Bytes of physical memory; 0 when unknown.
std::uint64_t PhysicalMemory();
