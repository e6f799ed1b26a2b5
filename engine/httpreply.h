// An HTTP download's answer as the receive worker takes it: the head is
// checked before the first body byte is written, and a redirect turns the
// node to the new address.
#pragma once

#include <cstddef>
#include <string>

#include "enginenode.h"

namespace lark {

// Where the HTTP header ends (just past its blank line), or npos.
size_t headerend(const std::string& text);

// The status line of a header, for a reason ("HTTP/1.1 404 Not Found").
std::string statusline(const std::string& header);

// The `n` bytes of `chunk` from `bodystart` on belong to the body: written
// once the head proves where they go (status, Content-Range), chunked
// coding taken off.
void httpbody(EngineNode& node, char* chunk, size_t n, size_t bodystart);

// The node asks `newpath` next, saving under `newfilename`.
void followredirect(EngineNode& node, const std::string& newpath, const std::string& newfilename);

} // namespace lark
