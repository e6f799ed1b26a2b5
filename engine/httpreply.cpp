#include "httpreply.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "filewrite.h"
#include "localname.h"
#include "programdir.h"
#include "replyparsers.h"
#include "urlparse.h"

namespace lark {

namespace {
constexpr int maxredirects = 20;

// The offset the request asked for in its "Range: bytes=N-" line; 0 without.
int64_t requestedoffset(const std::string& request)
{
    size_t at = request.find("\r\nRange: bytes=");
    if (at == std::string::npos) return 0;
    int64_t value = 0;
    for (size_t i = at + 15; i < request.size() && request[i] >= '0' && request[i] <= '9'; ++i) {
        if (value > (INT64_MAX - 9) / 10) return -1;
        value = value * 10 + (request[i] - '0');
    }
    return value;
}

// Checks the answer to a download request before its first body byte: a
// status outside 200-299, or bytes from another offset than asked, would
// splice the wrong data into the file.
bool bodyacceptable(EngineNode& node, const std::string& header)
{
    std::string unused, name;
    int status = 0;
    parseresponseheader(header, node.ftppathfile, unused, status, name);
    int64_t asked = requestedoffset(node.lastcommand);
    if (status < 200 || status > 299) {
        // A client error other than a time-out or a rate limit is the same
        // on every try.
        bool final = status >= 400 && status < 500 && status != 408 && status != 429;
        std::string wait;
        if ((status == 429 || status == 503) && headerfield(header, "Retry-After", wait)) {
            // Seconds only; a date is rare and is treated as none.
            unsigned long seconds = std::strtoul(wait.c_str(), nullptr, 10);
            node.retryafter = static_cast<unsigned>(std::min<unsigned long>(seconds, 86400));
        }
        node.fail(final ? FailureFinal : FailureRetry, "the server answered \"" + statusline(header) + "\"");
        return false;
    }
    if (status == 206) {
        if (contentrange(header).start != asked) {
            node.fail(FailureUnproven, "the server sent another range than asked, nothing written");
            return false;
        }
    } else if (asked != 0) {
        node.fail(FailureUnproven, "the server ignored the range, nothing written");
        return false;
    }
    node.streamoffset = node.streambegin = asked;
    return true;
}

void replacefield(std::string& request, const std::string& field, const std::string& value)
{
    size_t at = request.find("\r\n" + field + ": ");
    if (at == std::string::npos) return;
    size_t start = at + 4 + field.size();
    request.replace(start, request.find("\r\n", start) - start, value);
}

void removefield(std::string& request, const std::string& field)
{
    size_t at = request.find("\r\n" + field + ": ");
    if (at == std::string::npos) return;
    request.erase(at, request.find("\r\n", at + 2) - at);
}
} // namespace

// Where the HTTP header ends (just past its blank line), or npos.
size_t headerend(const std::string& text)
{
    size_t at = text.find("\r\n\r\n");
    if (at != std::string::npos) return at + 4;
    at = text.find("\n\n");
    return at == std::string::npos ? std::string::npos : at + 2;
}

// The status line of a header, for a reason ("HTTP/1.1 404 Not Found").
std::string statusline(const std::string& header)
{
    return header.substr(0, header.find_first_of("\r\n"));
}

void httpbody(EngineNode& node, char* chunk, size_t n, size_t bodystart)
{
    if (!node.filedata) {
        if (headerend(node.replytext) == std::string::npos) return;
        node.filedata = 1;
    }
    if (!node.headerskipped) {
        std::string header = node.replytext.substr(0, headerend(node.replytext));
        if (!bodyacceptable(node, header)) return;
        node.chunked = ischunked(header) ? 1 : 0;
        node.chunks.reset();
        node.headerskipped = 1;
    }
    char* body = chunk + bodystart;
    size_t length = n - bodystart;
    if (node.chunked) {
        size_t decoded = 0;
        ChunkDecoder::Result result = node.chunks.decode(body, length, decoded);
        if (result == ChunkDecoder::Error) return node.fail(FailureFinal, "bad chunked body");
        length = decoded;
        if (result == ChunkDecoder::Done) {
            node.state = ControlState::Close;
            node.datastate = DataState::Failed;
        }
    }
    if (length == 0 && node.state == ControlState::Close) return;
    writefilebytes(node, body, length, true);
}

void followredirect(EngineNode& node, const std::string& newpath, const std::string& newfilename)
{
    if (++node.redirectcount > maxredirects) return node.fail(FailureFinal, "too many redirects");
    const std::string scheme = referencescheme(newpath);
    if (!scheme.empty() && scheme != "http" && scheme != "https")
        return node.fail(FailureFinal, "redirect to an unsupported scheme (" + scheme + ")");
    const bool wassecure = node.tlsmode != TlsMode::None;
    if (node.downstarted) {
        node.filename = newfilename; // a branch writing on in the task's own file
    } else {
        // A name the server chose never replaces a file that is not the task's.
        node.filename = unusedlocalname(resolvelocaldir(node.localdir), newfilename, "");
        if (node.filename.empty()) return node.fail(FailureFinal, "no free name for the local file");
    }
    node.ftppathfile = newpath;
    size_t firstline = node.lastcommand.find("\r\n");
    std::string tail = node.lastcommand.substr(firstline + 2);
    if (!scheme.empty()) {
        node.forgetaddress();
        if (parseurl(newpath, node) != 0) return node.fail(FailureFinal, "redirect not followed: " + newpath);
        if (node.filename.empty()) node.filename = extractfilenamefrompath(node.ftppathfile);
        // Credentials belong to the origin that was asked, never another.
        node.user.clear();
        node.pass.clear();
        // The request must name the server it now goes to.
        tail = "\r\n" + tail;
        replacefield(tail, "Host", hostfield(node));
        // A secure page's address is not told to a plain server.
        if (wassecure && node.tlsmode == TlsMode::None) removefield(tail, "Referer");
        tail.erase(0, 2);
    }
    node.commandqueue = "GET " + node.ftppathfile + " HTTP/1.1\r\n" + tail;
    node.initcommand = node.commandqueue;
    node.replytext.clear();
    node.headerskipped = 0;
    node.filedata = 0;
    node.closecontrol();
    node.state = ControlState::Resolve;
}

} // namespace lark
