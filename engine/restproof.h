// Whether an FTP server starts a retrieval where REST asked. A 350 is only
// a claim: a server may answer it and send from byte 0 anyway. The program's
// probe keeps the first bytes of one REST retrieval as a sample; the branch
// that fetches from byte 0, which needs no REST, confirms or refutes it once
// its bytes pass the sample. A verified resume overlap settles it too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

namespace lark {

struct RestProof {
    enum State { Unknown, Sampled, Proven, Disproven };
    static constexpr size_t samplesize = 4096;

    State state();
    // Bytes of the sample retrieval, which started at `offset`; true once
    // the sample is full (later bytes are not needed).
    bool addsample(int64_t offset, const char* data, size_t length);
    // The sample retrieval ended (short file): what came is the sample.
    void sealsample();
    // A stream that started at `begin` has written the file `fd` up to
    // `end`: compares the sample once it is covered. The new state.
    State check(int fd, int64_t begin, int64_t end);
    void settle(bool honoured);

private:
    std::mutex lock;
    State current = Unknown;
    int64_t offset = -1;
    std::string sample;
};

} // namespace lark
