// The engine side of deleting a task, shared by both lists: a connected
// node is disconnected and the window thread waits for the engine to report
// it idle before the node is deleted. The wait polls every 100 ms inside a
// local event loop, so the window keeps painting and handling input (the
// caller must guard against a second Delete meanwhile), and it gives up
// after `limit`: a node that will not stop is left in place, never deleted
// under the engine.
#pragma once

#include <chrono>

#include "nodewait.h"

// True when the task's node is gone (or it never had one) and the caller
// may delete its record and rows; false leaves everything as it was.
bool RemoveTaskNode(void* node, std::chrono::milliseconds limit = kNodeStopLimit);
