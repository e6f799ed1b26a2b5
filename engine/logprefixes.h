// The words that open the engine's log lines and its file failure: the
// program tells such lines apart by them, so both spell them from here.
#pragma once

namespace lark {

inline constexpr char logreceived[] = "recv:";
inline constexpr char logsent[] = "Send command:";
inline constexpr char fileerrorprefix[] = "File Error:";

} // namespace lark
