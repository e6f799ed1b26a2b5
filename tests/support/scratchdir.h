#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace testsupport {

// A fresh directory under $TMPDIR (or /tmp), removed with everything in it
// when the object goes. It is made world-readable so that servers which drop
// privileges (vsftpd's anonymous session) can still serve what it holds.
class ScratchDir {
public:
    explicit ScratchDir(std::string_view prefix = "skylark-test");
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& relative) const { return path_ / relative; }

    // Writes `size` bytes drawn from a generator seeded with `seed` (the same
    // seed always gives the same bytes) at `relative`, creating parent
    // directories; returns the full path. Throws std::runtime_error on failure.
    std::filesystem::path writeRandomFile(const std::filesystem::path& relative, std::int64_t size,
                                          std::uint64_t seed) const;
    std::filesystem::path writeFile(const std::filesystem::path& relative, std::string_view content) const;

private:
    std::filesystem::path path_;
};

// The bytes writeRandomFile would write, for small comparisons in memory.
std::string randomBytes(std::size_t size, std::uint64_t seed);

std::string readWholeFile(const std::filesystem::path& path);

} // namespace testsupport
