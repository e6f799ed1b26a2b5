#include "chunkdecoder.h"

#include <cstring>

namespace lark {

namespace {
// A size line or trailer line longer than this is not a real server's.
constexpr size_t maxline = 4096;

bool parsechunksize(const std::string& line, uint64_t& size)
{
    size = 0;
    size_t digits = 0, at = 0;
    for (; at < line.size(); ++at) {
        char c = line[at];
        int value;
        if (c >= '0' && c <= '9')
            value = c - '0';
        else if (c >= 'a' && c <= 'f')
            value = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            value = c - 'A' + 10;
        else
            break;
        if (++digits > 16) return false;
        size = size * 16 + static_cast<uint64_t>(value);
    }
    if (size > (uint64_t{1} << 62)) return false; // beyond any file we could write
    // Only an extension or blanks may follow the size.
    return digits > 0 && (at == line.size() || line[at] == ';' || line[at] == ' ' || line[at] == '\t');
}
} // namespace

ChunkDecoder::Result ChunkDecoder::decode(char* data, size_t length, size_t& bodylen)
{
    bodylen = 0;
    size_t pos = 0;
    while (pos < length) {
        switch (phase_) {
        case SizeLine:
        case BodyEnd:
        case Trailer: {
            char c = data[pos++];
            if (c != '\n') {
                if (c != '\r') line_ += c;
                if (line_.size() > maxline) return Error;
                break;
            }
            if (phase_ == BodyEnd) {
                if (!line_.empty()) return Error;
                phase_ = SizeLine;
            } else if (phase_ == SizeLine) {
                if (!parsechunksize(line_, remaining_)) return Error;
                phase_ = remaining_ == 0 ? Trailer : Body;
            } else if (line_.empty()) {
                phase_ = Finished;
                return Done;
            }
            line_.clear();
            break;
        }
        case Body: {
            size_t take = length - pos;
            if (take > remaining_) take = static_cast<size_t>(remaining_);
            std::memmove(data + bodylen, data + pos, take);
            bodylen += take;
            pos += take;
            remaining_ -= take;
            if (remaining_ == 0) phase_ = BodyEnd;
            break;
        }
        case Finished: return Done;
        }
    }
    return phase_ == Finished ? Done : More;
}

} // namespace lark
