// The platform's 8-bit string: code page 932 text held as its bytes. No Qt here, so that
// code far from the window can hold window text.
#pragma once

#include <cstddef>
#include <string>

// 8-bit text in code page 932, held as the bytes themselves.
class AnsiString {
  public:
    AnsiString() = default;
    AnsiString(const char* text) : bytes_(text ? text : "") {}
    AnsiString(std::string bytes) : bytes_(std::move(bytes)) {}
    AnsiString(const char* bytes, std::size_t length) : bytes_(bytes, length) {}

    const char* c_str() const { return bytes_.c_str(); }
    int Length() const { return static_cast<int>(bytes_.size()); }
    bool IsEmpty() const { return bytes_.empty(); }
    const std::string& Bytes() const { return bytes_; }

    AnsiString& operator+=(const AnsiString& other) {
        bytes_ += other.bytes_;
        return *this;
    }
    friend AnsiString operator+(AnsiString a, const AnsiString& b) { return a += b; }
    friend bool operator==(const AnsiString&, const AnsiString&) = default;

  private:
    std::string bytes_;
};
