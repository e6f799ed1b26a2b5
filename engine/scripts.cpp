#include "engine.h"
#include "lark.h"
#include "urlparse.h"

namespace lark {

namespace {
// Replaces the number that follows `marker` with `offset`, keeping the text
// from `tail` on; false when the script has no such marker.
bool replacenumber(std::string& script, const std::string& marker, const std::string& tail, const std::string& offset)
{
    size_t at = script.find(marker);
    if (at == std::string::npos) return false;
    size_t numberstart = at + marker.size();
    size_t rest = script.find(tail, numberstart);
    std::string after = rest == std::string::npos ? std::string() : script.substr(rest);
    script = script.substr(0, numberstart) + offset + after;
    return true;
}
} // namespace

unsigned generateinitcommand(void* handle)
{
    EngineNode* node = nodeof(handle);
    if (!node) return 1;
    std::lock_guard<std::mutex> guard(node->lock);
    node->filedata = 0;
    node->downstarted = 0;
    node->commandqueue.clear();
    if (node->ishttp()) {
        const std::string server = hostfield(*node);
        const std::string& path = node->ftppathfile;
        node->commandqueue += "GET " + path + " HTTP/1.1\r\n";
        node->commandqueue += "Host: " + server + "\r\n";
        node->commandqueue += "Accept: */*\r\n";
        node->commandqueue += "Pragma: no-cache\r\n";
        node->commandqueue += "Cache-Control: no-cache\r\n";
        node->commandqueue += "User-Agent: Skylark\r\n";
        node->commandqueue += "Referer: " + urlscheme(*node) + "://" + server + path + "\r\n";
        node->commandqueue += "Connection: close\r\n\r\n";
    } else {
        node->appendcommand("user " + node->user);
        node->appendcommand("pass " + node->pass);
        node->appendcommand(node->ascimode ? "type A" : "type I");
    }
    node->initcommand = node->commandqueue;
    return 0;
}

unsigned adjustrestpoint(void* handle)
{
    EngineNode* node = nodeof(handle);
    if (!node) return 1;
    std::lock_guard<std::mutex> guard(node->lock);
    std::string offset = std::to_string(node->filepointer[RestartOffset].load());
    if (node->serverprotocol == ProtocolFtp) {
        if (!replacenumber(node->initcommand, "\r\nrest ", "\r\n", offset)) {
            node->commandqueue = node->initcommand;
            node->appendcommand("rest " + offset);
            node->appendcommand("retr " + node->ftppathfile);
            node->initcommand = node->commandqueue;
        }
    } else if (node->serverprotocol == ProtocolHttp) {
        if (!replacenumber(node->initcommand, "\r\nRange: bytes=", "-\r\n\r\n", offset)) {
            std::string script = node->initcommand;
            script.erase(script.size() >= 2 ? script.size() - 2 : 0);
            node->commandqueue = script + "Range: bytes=" + offset + "-\r\n\r\n";
            node->initcommand = node->commandqueue;
        }
    }
    return 0;
}

unsigned savecommand(void* handle, std::string script)
{
    EngineNode* node = nodeof(handle);
    if (!node) return 1;
    std::lock_guard<std::mutex> guard(node->lock);
    node->initcommand = script == "..." ? node->commandqueue : script;
    return 0;
}

unsigned copyredirectinfo(void* fromhandle, void* tohandle)
{
    EngineNode* from = nodeof(fromhandle);
    EngineNode* to = nodeof(tohandle);
    if (!from || !to) return 1;
    if (from == to) return 0;
    std::string path, server, filename;
    unsigned port;
    TlsMode tls;
    SocketAddress address;
    AddressList addresses;
    size_t addressindex;
    {
        std::lock_guard<std::mutex> guard(from->lock);
        path = from->ftppathfile;
        port = from->serverport;
        tls = from->tlsmode;
        server = from->servername;
        address = from->serveraddr;
        addresses = from->addresses;
        addressindex = from->addressindex;
        filename = from->filename;
    }
    std::lock_guard<std::mutex> guard(to->lock);
    to->ftppathfile = path;
    to->serverport = port;
    // A redirect between http and https changes how the branch connects.
    to->tlsmode = tls;
    if (tls != TlsMode::None && !to->tlssessions) to->tlssessions = std::make_shared<TlsSessionStore>();
    to->servername = server;
    to->serveraddr = address;
    to->addresses = addresses;
    to->addressindex = addressindex;
    to->filename = filename;
    return 0;
}

} // namespace lark
