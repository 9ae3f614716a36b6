// How one line of a memo lies, found in one pass over its code page 932 bytes: the byte
// offset and the left edge of every 256th character are kept, so that a column and an x
// position convert into each other in O(log n) plus at most 256 characters, and only the
// characters in sight are ever converted. Each character is one column (one UTF-16 unit:
// every code page 932 character lies in the Basic Multilingual Plane). Display text is ASCII,
// so a line of hundreds of megabytes costs one table look-up per byte. No platform here: the
// view that draws gives the advances of the characters in its font.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// A place in a memo's text: a line and a character within it.
struct TextPosition {
    int line = 0;
    int column = 0;
    friend bool operator==(const TextPosition&, const TextPosition&) = default;
    friend bool operator<(const TextPosition& a, const TextPosition& b) {
        return a.line != b.line ? a.line < b.line : a.column < b.column;
    }
};

// Where the caret of a read-only edit box goes for a key: lines of columns(line) characters,
// count of them, rows in sight.
enum class CaretKey { Left, Right, Up, Down, PageUp, PageDown, Home, End };
TextPosition MovedCaret(TextPosition p, CaretKey key, bool ctrl, int count, int rows,
                        const std::function<int(int line)>& columns);

class LineLayout {
  public:
    struct Font {
        double ascii[128] = {};                           // advances of the ASCII characters
        std::function<double(char16_t)> advance;          // of any other character
        std::function<char16_t(std::string_view)> decode; // one non-ASCII character
    };

    LineLayout(std::string_view bytes, const Font& font);

    int Columns() const { return columns_; }
    double Width() const { return width_; }
    // The left edge of a column (the end of the line for a column past it).
    double X(int column) const;
    // The character boundary nearest x, or with `within` the column whose box holds x.
    int ColumnAt(double x, bool within = false) const;
    // The characters [from, to).
    std::u16string Text(int from, int to) const;

    // Code page 932: a lead byte and a valid trail byte are one character; any other byte is.
    static std::size_t CharBytes(std::string_view bytes, std::size_t at);

  private:
    static constexpr int kStep = 256;
    int Checkpoint(int column, std::size_t& at, double& x) const;
    char16_t CharAt(std::size_t at, std::size_t n) const;
    double Advance(char16_t c) const { return c < 128 ? font_.ascii[c] : font_.advance(c); }

    std::string bytes_;
    const Font& font_;
    std::vector<std::size_t> byteAt_{0};
    std::vector<double> xAt_{0};
    int columns_ = 0;
    double width_ = 0;
    mutable std::unordered_map<int, char16_t> wide_;
};
