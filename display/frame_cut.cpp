#include "frame_cut.h"

#include <algorithm>

namespace {
// Dropping the cut-off text costs a move of what remains; doing it only once the dead part
// dominates keeps that cost linear overall.
constexpr std::size_t kCompactAt = 1 << 16;
} // namespace

FrameCutter::FrameCutter(std::string_view token, bool breakBefore, Sink sink)
    : token_(token), breakBefore_(breakBefore), sink_(std::move(sink)) {}

void FrameCutter::Feed(std::string_view line) {
    carried_.append(line);
    if (token_.empty()) return;
    const std::size_t length = token_.size();
    for (;;) {
        std::size_t from = std::max(scan_, head_ + 1);
        std::size_t found =
            from < carried_.size() ? carried_.find(token_, from) : std::string::npos;
        if (found == std::string::npos) {
            // An occurrence may still straddle into the next line: its first byte would lie
            // in the last length - 1 bytes.
            std::size_t tail = carried_.size() >= length - 1 ? carried_.size() - (length - 1) : 0;
            scan_ = std::max(from, tail);
            break;
        }
        std::size_t cut = breakBefore_ ? found : found + length;
        sink_(std::string_view(carried_).substr(head_, cut - head_));
        head_ = cut;
        scan_ = head_ + 1;
    }
    if (head_ >= kCompactAt && head_ * 2 >= carried_.size()) {
        carried_.erase(0, head_);
        scan_ -= head_;
        head_ = 0;
    }
}

void FrameCutter::Finish() {
    sink_(std::string_view(carried_).substr(head_));
    carried_.clear();
    head_ = scan_ = 0;
}

std::vector<std::string> CutFrames(const std::vector<std::string>& lines, std::string_view token,
                                   bool breakBefore) {
    std::vector<std::string> pieces;
    FrameCutter cutter(token, breakBefore,
                       [&](std::string_view piece) { pieces.emplace_back(piece); });
    for (const std::string& line : lines)
        cutter.Feed(line);
    cutter.Finish();
    return pieces;
}
