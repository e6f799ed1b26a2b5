// A host with several addresses is tried one address after the other until
// one connects: a refusal moves on at once, silence after a short while,
// and only the last address gets the whole connect time-out, so one dead
// family (an IPv6 route that goes nowhere) costs a moment, not the download.
#pragma once

#include <string>

#include "socketaddress.h"

namespace lark {

class EngineNode;

// How long an attempt may stay unanswered while other addresses remain.
constexpr unsigned attemptlimitms = 300;

// The node's server is at `addresses`, the first to be tried now.
void useaddresses(EngineNode& node, const AddressList& addresses);

// The attempt on the current address failed for `reason`: when another
// address remains, the node closes its socket and goes back to the control
// worker for a connect to it (true); else the caller reports the failure.
bool nextaddress(EngineNode& node, const std::string& reason);

// The current address connected: it comes first for every later connect
// of the node and of the other branches of its download.
void addressconnected(EngineNode& node);

// The connect time-out for the node's current attempt.
unsigned connectlimit(const EngineNode& node, unsigned connecttimeout);

// "[::1]:8080" or "127.0.0.1:21", for the log.
std::string addresstext(const SocketAddress& address);

} // namespace lark
