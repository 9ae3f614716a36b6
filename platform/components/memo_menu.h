// The context menu of a read-only edit box, in the window's language (code page 932): only
// copying and selecting all can do anything in a memo the user cannot change.
#pragma once

namespace memo_menu {

inline constexpr const char* kUndo = "\x8c\xb3\x82\xc9\x96\xdf\x82\xb7(&U)"; // 元に戻す
inline constexpr const char* kCut = "\x90\xd8\x82\xe8\x8e\xe6\x82\xe8(&T)";  // 切り取り
inline constexpr const char* kCopy = "\x83R\x83s\x81[(&C)";                  // コピー
inline constexpr const char* kPaste = "\x93\\\x82\xe8\x95t\x82\xaf(&P)";     // 貼り付け
inline constexpr const char* kDelete = "\x8d\xed\x8f\x9c(&D)";               // 削除
inline constexpr const char* kSelectAll = "\x82\xb7\x82\xd7\x82\xc4\x91I\x91\xf0(&A)"; // すべて選択

} // namespace memo_menu
