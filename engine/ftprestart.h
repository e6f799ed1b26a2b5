// Whether a resumed FTP retrieval starts where it was asked to: its bytes
// wait in the socket until the server's 350 and the download's REST sample
// have proven the offset.
#pragma once

#include <cstddef>

#include "enginenode.h"
#include "workerloop.h"

namespace lark {

// A retrieval the program queued itself on a connection that is not a
// branch: the probe's REST sample, never bytes of the file.
bool issample(const EngineNode& node);

// The server has confirmed the restart (or none was asked); false while
// the answer is awaited (the node then waits for the control connection)
// or after it refused.
bool restartproven(EngineNode& node, WorkerContext& worker);

// A fresh branch past byte 0 writes only once the REST sample is confirmed.
bool offsettrusted(EngineNode& node);

// The probe's retrieval after "rest 1": its first bytes are the sample.
void takesample(EngineNode& node, const char* data, size_t length, bool ended);

} // namespace lark
