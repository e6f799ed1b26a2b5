// File bytes to disk at the branch's own offsets. Bytes of a stream that
// lie below the write offset are compared with the disk, never written.
#pragma once

#include <cstddef>

#include "enginenode.h"

namespace lark {

// The branch cannot write its file: the task ends with the file's name.
void fileerror(EngineNode& node);

// Opens the node's local file once (never through a link planted there).
bool openlocalfile(EngineNode& node);

// Writes at the write offset, stopping the branch at its end offset. An FTP
// branch without resume writes the whole chunk (the server sends on anyway).
void writefilebytes(EngineNode& node, const char* data, size_t length, bool cutatend);

} // namespace lark
