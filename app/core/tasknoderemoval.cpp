#include "tasknoderemoval.h"

#include "lark.h"

bool RemoveTaskNode(void* node, std::chrono::milliseconds limit) {
  if (!node) return true;  // a task whose node could not be made holds nothing in the engine
  int connected = 0;
  if (lark::getserverconnected(node, connected, 0) != 0) return false;
  if (connected) {
    lark::disconnect(node, 0);
    if (!WaitUntilNodeIdle(node, limit)) return false;
  }
  return lark::deletenode(node) == 0;
}
