#include "spill_file.h"

#include <windows.h>

#include <algorithm>

namespace {

HANDLE H(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

// Where in the file a transfer goes, and how much of what is left one call moves.
OVERLAPPED At(std::uint64_t offset) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return at;
}
DWORD Piece(std::size_t left) {
    return static_cast<DWORD>(std::min<std::size_t>(left, 1u << 30));
}

std::wstring Directory(const std::string& chosen) {
    if (!chosen.empty()) {
        int n = MultiByteToWideChar(CP_ACP, 0, chosen.c_str(), -1, nullptr, 0);
        std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 1), L'\0');
        MultiByteToWideChar(CP_ACP, 0, chosen.c_str(), -1, wide.data(), n);
        wide.resize(wide.size() - 1);
        return wide;
    }
    wchar_t temp[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH + 1, temp);
    return n > 0 && n <= MAX_PATH ? std::wstring(temp, n) : std::wstring(L".");
}

} // namespace

bool SpillFile::Open(const std::string& dir) {
    if (IsOpen()) return true;
    wchar_t name[MAX_PATH];
    if (!GetTempFileNameW(Directory(dir).c_str(), L"qvm", 0, name)) return false;
    // Shared with no one, deleted by the system when the last handle goes, process or crash.
    HANDLE file = CreateFileW(
        name, GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, CREATE_ALWAYS,
        FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DeleteFileW(name);
        return false;
    }
    handle_ = reinterpret_cast<std::intptr_t>(file);
    return true;
}

bool SpillFile::Write(std::uint64_t offset, const char* data, std::size_t size) {
    if (!IsOpen()) return false;
    for (std::size_t done = 0; done < size;) {
        OVERLAPPED at = At(offset + done);
        DWORD written = 0;
        if (!WriteFile(H(handle_), data + done, Piece(size - done), &written, &at) || !written) {
            Truncate(offset); // the disk is full: give back what part did land
            return false;
        }
        done += written;
    }
    return true;
}

bool SpillFile::Read(std::uint64_t offset, char* data, std::size_t size) const {
    if (!IsOpen()) return false;
    for (std::size_t done = 0; done < size;) {
        OVERLAPPED at = At(offset + done);
        DWORD read = 0;
        if (!ReadFile(H(handle_), data + done, Piece(size - done), &read, &at) || !read)
            return false;
        done += read;
    }
    return true;
}

void SpillFile::Truncate(std::uint64_t size) {
    if (!IsOpen()) return;
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(size);
    if (SetFilePointerEx(H(handle_), at, nullptr, FILE_BEGIN)) SetEndOfFile(H(handle_));
}

void SpillFile::Close() {
    if (IsOpen()) CloseHandle(H(handle_));
    handle_ = kNone;
}

std::uint64_t PhysicalMemory() {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    return GlobalMemoryStatusEx(&status) ? status.ullTotalPhys : 0;
}
