// The window's own texts, as the code page 932 bytes they are.
#pragma once

namespace texts {

inline constexpr char kStart[] = "\x8a\x4a\x8e\x6e"; // 開始
inline constexpr char kStop[] = "\x92\xe2\x8e\x7e";  // 停止
inline constexpr char kBreakAfter[] =
    "       \x82\xcc\x8c\xe3\x82\xc5\x89\xfc\x8d\x73"; // の後で改行
inline constexpr char kBreakBefore[] =
    "       \x82\xcc\x91\x4f\x82\xc5\x89\xfc\x8d\x73"; // の前で改行
// ＭＳ Ｐゴシック
inline constexpr char kFontName[] = "\x82\x6c\x82\x72 \x82\x6f\x83\x53\x83\x56\x83\x62\x83\x4e";

} // namespace texts
