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

// How many of the first bytes of a code page 932 text, at most max, end on a character
// boundary: a cut never keeps the lead byte of a double-byte character without its trail.
inline std::size_t WholeCharacters(const std::string& bytes, std::size_t max) {
    std::size_t keep = 0;
    for (std::size_t i = 0; i < bytes.size();) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        const std::size_t width = ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) ? 2 : 1;
        if (i + width > max) break;
        i += width;
        keep = i;
    }
    return keep;
}
