// Re-cutting the live log into frames at a delimiter token.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Joins the lines fed to it and cuts the text at every occurrence of the token, before it or
// after it. A token at the very start of the carried text is never a break point, so every
// piece holds at least one byte; an empty token cuts nothing.
//
// Each search resumes where a new occurrence could first begin, so the whole cut costs time
// linear in the log's size whatever the token, and only the text not yet cut off is held.
class FrameCutter {
  public:
    using Sink = std::function<void(std::string_view piece)>;

    FrameCutter(std::string_view token, bool breakBefore, Sink sink);
    // Appends one line of the log and passes on every piece it completes.
    void Feed(std::string_view line);
    // Passes on what remains, possibly empty: the last piece.
    void Finish();

  private:
    std::string token_;
    bool breakBefore_;
    Sink sink_;
    std::string carried_; // joined text not yet cut off, from head_ on
    std::size_t head_ = 0;
    std::size_t scan_ = 0; // no occurrence begins in [head_ + 1, scan_)
};

// The pieces of a whole log: each becomes one line of the frame view.
std::vector<std::string> CutFrames(const std::vector<std::string>& lines, std::string_view token,
                                   bool breakBefore);
