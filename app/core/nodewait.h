// Waits on the window thread for the engine to report a node (or a whole
// download) idle after a disconnect. The wait polls every 100 ms inside a
// local event loop, so the window keeps painting, and it gives up after
// `limit`: the caller never acts on a node that would not stop.
#pragma once

#include <QEventLoop>

#include <chrono>

inline constexpr std::chrono::milliseconds kNodeStopLimit{10000};

// True once getserverconnected reports the node not connected; false when
// the engine refuses or `limit` passes first.
bool WaitUntilNodeIdle(void* node, std::chrono::milliseconds limit, int thisnodeonly = 0,
                       QEventLoop::ProcessEventsFlags flags = QEventLoop::AllEvents);
