// Where a download task's probe of the server stands. Odd values wait for an
// answer and the answer's arrival adds one, so the values are fixed.
#pragma once

#include <cstdint>

enum class ProbeState : uint32_t {
  Idle = 0,           // the probe is sent once the task's nodes are connected
  ProbeSent = 1,      // HTTP "Range: bytes=1-" or FTP "list", waiting
  ProbeAnswered = 2,  // the answer is in reply
  RestSent = 3,       // FTP: "rest 1", waiting
  RestAnswered = 4,
  Downloading = 5,  // the branches are started
  LateAnswer = 6,   // an answer that came while downloading; kept, not acted on
  SampleSent = 7,   // FTP: a REST sample is being fetched
  SampleAnswered = 8,
};

// The state after the completion message of the request sent in `state`.
inline ProbeState AfterAnswer(ProbeState state) { return static_cast<ProbeState>(static_cast<uint32_t>(state) + 1); }
