#include "lark.h"
#include "replyparsers.h"

namespace lark {

namespace {
// A code counts at the start of the reply or of any later line, followed by
// a blank (a hyphen marks a continuation line).
bool codeoccurs(const std::string& reply, const char* code)
{
    return replyhasline(reply, std::string(code) + " ");
}

bool anyoccurs(const std::string& reply, std::initializer_list<const char*> codes)
{
    for (const char* code : codes)
        if (codeoccurs(reply, code)) return true;
    return false;
}
} // namespace

int ServerRejected(std::string reply, int kind, std::string command)
{
    if (kind == 1) {
        for (const char* exempt : {"rest ", "pass ", "cwd "})
            if (command.find(exempt) != std::string::npos) return 0;
        if (anyoccurs(reply, {"530", "550", "500", "425"})) return 1;
        return codeoccurs(reply, "502") && command.find("retr") == std::string::npos ? 1 : 0;
    }
    if (kind == 2) return anyoccurs(reply, {"530", "550", "501"}) ? 1 : 0;
    return 0;
}

} // namespace lark
