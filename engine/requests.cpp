#include "engine.h"
#include "lark.h"

namespace lark {

unsigned fetchftpcontent(void* handle, std::string line, void* wnd, unsigned msg, unsigned extra,
                         int lparam, int notify)
{
    EngineNode* node = nodeof(handle);
    if (!node) return 1;
    {
        std::lock_guard<std::mutex> guard(node->lock);
        if (!node->serverconnected) return 3;
        if (!node->commandqueue.empty() || !node->currentcommand.empty() ||
            node->state != StateReady || node->notifystate != 0 || !node->content.empty())
            return 4;
        if (notify) {
            node->notifywnd = wnd;
            node->notifymsg = msg;
            node->notifylparam = lparam;
            node->notifyextra = extra;
            node->notifystate = 1;
        }
        node->appendcommand(line);
    }
    nudgeworkers();
    return 0;
}

unsigned takeoutcontent(void* handle, std::string& text)
{
    EngineNode* node = nodeof(handle);
    if (!node) return 1;
    {
        std::lock_guard<std::mutex> guard(node->lock);
        text = node->content;
        node->content.clear();
        node->notifystate = 0;
        node->notifywnd = nullptr;
        node->notifymsg = 0;
        node->notifylparam = 0;
        node->notifyextra = 0;
    }
    nudgeworkers();
    return 0;
}

}  // namespace lark
