// The frame cutting rule as literally stated, for checking the fast cutter against it.
#pragma once

#include <string>
#include <vector>

namespace literal {

using Lines = std::vector<std::string>;

// The rule exactly as stated: after every line, search the carried text from its start.
inline Lines LiteralCut(const Lines& lines, const std::string& token, bool breakBefore) {
    Lines out;
    std::string w;
    for (const std::string& line : lines) {
        w += line;
        for (;;) {
            auto find = [&](std::size_t from) -> std::size_t { // 1-based, 0 when none
                if (token.empty() || w.empty()) return 0;
                std::size_t at = w.find(token, from);
                return at == std::string::npos ? 0 : at + 1;
            };
            std::size_t p = find(0);
            if (p == 1) p = find(1) == 0 ? 1 : find(1);
            if (p < 2) break;
            std::size_t take = breakBefore ? p - 1 : p + token.size() - 1;
            out.push_back(w.substr(0, take));
            w.erase(0, take);
        }
    }
    out.push_back(w);
    return out;
}

} // namespace literal
