// A transfer's speed averaged over the last few seconds, so a time left
// drawn from it does not jump with every burst or stall of the network.
#pragma once

#include <cstdint>

class SmoothedSpeed {
 public:
  // One measured speed (bytes per second) at a moment in milliseconds.
  void Add(int64_t speed, int64_t nowms);
  // Nothing is being received: the next sample starts afresh.
  void Reset();
  int64_t Value() const;

 private:
  double m_value = 0;
  int64_t m_lastms = 0;
  bool m_started = false;
};
