#include "engine.h"
#include "lark.h"

namespace lark {

unsigned fetchftpcontent(void* handle, std::string line, void* wnd, unsigned msg, unsigned extra, int lparam,
                         int notify)
{
    EngineNode* node = nodeof(handle);
    if (!node) return StatusNoNode;
    {
        std::lock_guard<std::mutex> guard(node->lock);
        if (!node->serverconnected) return StatusWrongState;
        if (!node->commandqueue.empty() || !node->currentcommand.empty() || node->state != ControlState::Ready ||
            node->notifystate != NotifyState::None || !node->content.empty())
            return StatusBusy;
        if (notify) {
            node->notifywnd = wnd;
            node->notifymsg = msg;
            node->notifylparam = lparam;
            node->notifyextra = extra;
            node->notifystate = NotifyState::Armed;
        }
        node->appendcommand(line);
    }
    nudgeworkers();
    return StatusOk;
}

unsigned takeoutcontent(void* handle, std::string& text)
{
    EngineNode* node = nodeof(handle);
    if (!node) return StatusNoNode;
    {
        std::lock_guard<std::mutex> guard(node->lock);
        text = node->content;
        node->content.clear();
        node->notifystate = NotifyState::None;
        node->notifywnd = nullptr;
        node->notifymsg = 0;
        node->notifylparam = 0;
        node->notifyextra = 0;
    }
    nudgeworkers();
    return StatusOk;
}

} // namespace lark
