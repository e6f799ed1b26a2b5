#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace lark {

// Undoes the chunked transfer coding of an HTTP body as it arrives in
// arbitrary pieces, so that chunk sizes and trailers never reach the file.
class ChunkDecoder {
public:
    enum Result { More, Done, Error };

    // Body bytes found in `data` are moved to its front, in place; `bodylen`
    // says how many. Returns Done after the last chunk's trailer, Error on a
    // malformed or oversized size line.
    Result decode(char* data, size_t length, size_t& bodylen);
    void reset() { *this = ChunkDecoder(); }
    bool done() const { return phase_ == Finished; }

private:
    enum Phase { SizeLine, Body, BodyEnd, Trailer, Finished };
    Phase phase_ = SizeLine;
    std::string line_;
    uint64_t remaining_ = 0;
};

} // namespace lark
