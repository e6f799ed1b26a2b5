#include "filewrite.h"

#include "logprefixes.h"
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "programdir.h"
#include "restproof.h"

namespace lark {

namespace {
// Bytes of the stream below the write offset are on disk already: they are
// compared with it, never written. A match proves the server starts where
// asked; a mismatch means it does not, or the file changed on the server.
bool overlapmatches(EngineNode& node, const char*& data, size_t& length)
{
    int64_t write = node.filepointer[WriteOffset];
    if (node.streamoffset < 0 || node.streamoffset >= write || length == 0) return true;
    size_t overlap = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(length), write - node.streamoffset));
    char disk[16384];
    for (size_t done = 0; done < overlap;) {
        size_t part = std::min(overlap - done, sizeof disk);
        ssize_t n = pread(node.localfile, disk, part, node.streamoffset + static_cast<int64_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0 || std::memcmp(disk, data + done, static_cast<size_t>(n)) != 0) {
            node.fail(FailureUnproven, "the server's bytes at offset " +
                                           std::to_string(node.streamoffset + static_cast<int64_t>(done)) +
                                           " differ from the file on disk");
            return false;
        }
        done += static_cast<size_t>(n);
    }
    node.streamoffset += static_cast<int64_t>(overlap);
    data += overlap;
    length -= overlap;
    if (node.streamoffset == write && node.restproof) node.restproof->settle(true);
    return true;
}

} // namespace

// Names the file as it was opened: the resolved directory and the name
// with one "/" between them, whatever the typed directory ended with.
void fileerror(EngineNode& node)
{
    std::string path;
    if (!localfilepath(node.localdir, node.filename, path)) path = resolvelocaldir(node.localdir) + "/" + node.filename;
    node.fail(FailureFinal, fileerrorprefix + path);
}

bool openlocalfile(EngineNode& node)
{
    if (node.localfile >= 0) return true;
    std::string path;
    if (!localfilepath(node.localdir, node.filename, path)) return false;
    // Never follow a link planted at the file's name; read back for the
    // overlap and sample checks.
    node.localfile = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    return node.localfile >= 0;
}

void writefilebytes(EngineNode& node, const char* data, size_t length, bool cutatend)
{
    if (!openlocalfile(node)) {
        fileerror(node);
        return;
    }
    if (!overlapmatches(node, data, length)) return;
    int64_t write = node.filepointer[WriteOffset];
    int64_t end = node.filepointer[EndOffset];
    // Reaching the end offset ends the branch at once: waiting for a byte
    // past it would hold a finished branch open until the server sends more.
    if (end != 0 && write + static_cast<int64_t>(length) >= end) {
        node.state = ControlState::Close;
        node.datastate = DataState::Failed;
        if (cutatend) length = end > write ? static_cast<size_t>(end - write) : 0;
    }
    size_t done = 0;
    while (done < length) {
        ssize_t put = pwrite(node.localfile, data + done, length - done, write + static_cast<int64_t>(done));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            node.filepointer[WriteOffset] = write + static_cast<int64_t>(done);
            fileerror(node);
            return;
        }
        done += static_cast<size_t>(put);
    }
    node.filepointer[WriteOffset] = write + static_cast<int64_t>(done);
    // Past the overlap the stream and the write offset move together.
    if (node.streamoffset >= 0 && done > 0) node.streamoffset = node.filepointer[WriteOffset];
    // A stream that needed no restart confirms or refutes the REST sample.
    if (!node.ishttp() && node.restproof && node.streambegin == 0 && node.restproof->state() == RestProof::Sampled)
        node.restproof->check(node.localfile, 0, node.filepointer[WriteOffset]);
}

} // namespace lark
