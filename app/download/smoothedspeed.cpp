#include "smoothedspeed.h"

#include <cmath>

namespace {
// The weight of a sample falls to a third after this many milliseconds.
constexpr double kHorizonMs = 5000.0;
}  // namespace

void SmoothedSpeed::Add(int64_t speed, int64_t nowms) {
  if (speed < 0) speed = 0;
  if (!m_started) {
    m_value = static_cast<double>(speed);
    m_started = true;
  } else {
    const double elapsed = static_cast<double>(nowms - m_lastms);
    const double weight = elapsed > 0 ? 1.0 - std::exp(-elapsed / kHorizonMs) : 0.0;
    m_value += weight * (static_cast<double>(speed) - m_value);
  }
  m_lastms = nowms;
}

void SmoothedSpeed::Reset() {
  m_value = 0;
  m_started = false;
}

int64_t SmoothedSpeed::Value() const { return static_cast<int64_t>(std::llround(m_value)); }
