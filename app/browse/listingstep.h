// A site's directory listing cycle: "cwd PATH", then "list", then the
// listing replaces the directory's children.
#pragma once

#include <cstdint>

enum class ListingStep : uint32_t {
  Idle = 0,
  CwdSent = 1,  // or "list" refused and waiting for its retry
  ListSent = 2,
};

// What one step of the cycle did. The engine's request results keep their
// numbers, so a refused request passes through as it is.
enum class StepResult : int {
  NotAsked = -1,  // a command with nothing selected, or a site not yet ready
  Done = 0,
  NothingToDo = 1,
  NoSuchDirectory = 2,  // the server refused the "cwd"
  NotConnected = 3,
  Busy = 4,  // the engine's, or a cycle already under way
  BadState = 5,
};
