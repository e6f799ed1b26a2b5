#include "engine.h"
#include "lark.h"

namespace lark {

unsigned getoutputmsg(void* handle, std::string& text, int all)
{
    EngineNode* node = nodeof(handle);
    if (!node) return 1;
    std::lock_guard<std::mutex> guard(node->lock);
    node->outputlog += node->newoutput;
    keeplogbounded(node->outputlog);
    text = all ? node->outputlog : node->newoutput;
    node->newoutput.clear();
    return 0;
}

unsigned clearlogmessage(void* handle)
{
    EngineNode* node = nodeof(handle);
    if (!node) return 1;
    std::lock_guard<std::mutex> guard(node->lock);
    node->outputlog.clear();
    return 0;
}

} // namespace lark
