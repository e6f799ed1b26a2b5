#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace testsupport {

// Streaming SHA-256, so tests can compare downloaded files with their sources
// without linking a crypto library.
class Sha256 {
public:
    Sha256();
    void update(const void* data, std::size_t length);
    // Lowercase hex digest; the object must not be updated afterwards.
    std::string finishHex();

private:
    void compressBlock(const std::uint8_t* block);

    std::array<std::uint32_t, 8> state_;
    std::array<std::uint8_t, 64> pending_{};
    std::size_t pendingLength_ = 0;
    std::uint64_t totalLength_ = 0;
};

std::string sha256OfBytes(std::string_view bytes);
std::string sha256OfBytes(const void* data, std::size_t length);
// Throws std::runtime_error when the file cannot be read.
std::string sha256OfFile(const std::filesystem::path& path);

} // namespace testsupport
