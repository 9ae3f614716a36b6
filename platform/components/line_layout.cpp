#include "line_layout.h"

#include <algorithm>

LineLayout::LineLayout(std::string_view bytes, const Font& font) : bytes_(bytes), font_(font) {
    double x = 0;
    int column = 0;
    for (std::size_t at = 0; at < bytes_.size(); ++column) {
        if (column % kStep == 0 && column > 0) {
            byteAt_.push_back(at);
            xAt_.push_back(x);
        }
        const auto b = static_cast<unsigned char>(bytes_[at]);
        if (b < 0x80) { // the common case, kept short
            x += font_.ascii[b];
            ++at;
            continue;
        }
        const std::size_t n = CharBytes(bytes_, at);
        x += Advance(CharAt(at, n));
        at += n;
    }
    columns_ = column;
    width_ = x;
}

std::size_t LineLayout::CharBytes(std::string_view bytes, std::size_t at) {
    const auto lead = static_cast<unsigned char>(bytes[at]);
    if (at + 1 >= bytes.size()) return 1;
    const auto trail = static_cast<unsigned char>(bytes[at + 1]);
    const bool isLead = (lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC);
    const bool isTrail = (trail >= 0x40 && trail <= 0x7E) || (trail >= 0x80 && trail <= 0xFC);
    return isLead && isTrail ? 2 : 1;
}

int LineLayout::Checkpoint(int column, std::size_t& at, double& x) const {
    const std::size_t k = static_cast<std::size_t>(column / kStep);
    at = byteAt_[k];
    x = xAt_[k];
    return static_cast<int>(k) * kStep;
}

char16_t LineLayout::CharAt(std::size_t at, std::size_t n) const {
    const auto b = static_cast<unsigned char>(bytes_[at]);
    if (b < 0x80) return b;
    const int key = n == 2 ? (b << 8) | static_cast<unsigned char>(bytes_[at + 1]) : b;
    auto it = wide_.find(key);
    if (it == wide_.end())
        it = wide_.emplace(key, font_.decode(std::string_view(bytes_).substr(at, n))).first;
    return it->second;
}

double LineLayout::X(int column) const {
    column = std::clamp(column, 0, columns_);
    if (column == columns_) return width_;
    std::size_t at;
    double x;
    for (int c = Checkpoint(column, at, x); c < column; ++c) {
        const std::size_t n = CharBytes(bytes_, at);
        x += Advance(CharAt(at, n));
        at += n;
    }
    return x;
}

int LineLayout::ColumnAt(double x, bool within) const {
    if (columns_ == 0 || x <= 0) return 0;
    if (x >= width_) return columns_;
    const auto k =
        static_cast<std::size_t>(std::upper_bound(xAt_.begin(), xAt_.end(), x) - xAt_.begin());
    int column = static_cast<int>((k - 1) * kStep);
    std::size_t at = byteAt_[k - 1];
    double left = xAt_[k - 1];
    for (; column < columns_; ++column) {
        const std::size_t n = CharBytes(bytes_, at);
        const double advance = Advance(CharAt(at, n));
        if (x < left + (within ? advance : advance / 2)) return column;
        left += advance;
        at += n;
    }
    return columns_;
}

std::u16string LineLayout::Text(int from, int to) const {
    from = std::clamp(from, 0, columns_);
    to = std::clamp(to, from, columns_);
    std::u16string text;
    text.reserve(static_cast<std::size_t>(to - from));
    std::size_t at;
    double x;
    int c = Checkpoint(from, at, x);
    for (; c < from; ++c)
        at += CharBytes(bytes_, at);
    for (; c < to; ++c) {
        const std::size_t n = CharBytes(bytes_, at);
        text += CharAt(at, n);
        at += n;
    }
    return text;
}

TextPosition MovedCaret(TextPosition p, CaretKey key, bool ctrl, int count, int rows,
                        const std::function<int(int line)>& columns) {
    if (count <= 0) return {};
    auto toLine = [&](int line) {
        p.line = std::clamp(line, 0, count - 1);
        p.column = std::min(p.column, columns(p.line));
    };
    switch (key) {
    case CaretKey::Left:
        if (p.column > 0)
            --p.column;
        else if (p.line > 0)
            p = {p.line - 1, columns(p.line - 1)};
        break;
    case CaretKey::Right:
        if (p.column < columns(p.line))
            ++p.column;
        else if (p.line + 1 < count)
            p = {p.line + 1, 0};
        break;
    case CaretKey::Up:
        toLine(p.line - 1);
        break;
    case CaretKey::Down:
        toLine(p.line + 1);
        break;
    case CaretKey::PageUp:
        toLine(p.line - rows);
        break;
    case CaretKey::PageDown:
        toLine(p.line + rows);
        break;
    case CaretKey::Home:
        p = ctrl ? TextPosition{0, 0} : TextPosition{p.line, 0};
        break;
    case CaretKey::End:
        p = ctrl ? TextPosition{count - 1, columns(count - 1)}
                 : TextPosition{p.line, columns(p.line)};
        break;
    }
    return p;
}
