#include "scratchdir.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace testsupport {

namespace {

// splitmix64: cheap, well mixed, and fast enough for hundreds of MiB.
class RandomStream {
public:
    explicit RandomStream(std::uint64_t seed) : state_(seed) {}

    void fill(char* out, std::size_t length)
    {
        while (length > 0) {
            const std::uint64_t word = next();
            const std::size_t take = std::min<std::size_t>(length, sizeof word);
            std::memcpy(out, &word, take);
            out += take;
            length -= take;
        }
    }

private:
    std::uint64_t next()
    {
        std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }

    std::uint64_t state_;
};

std::runtime_error systemError(const std::string& what)
{
    return std::runtime_error(what + ": " + std::strerror(errno));
}

void writeAll(int fd, const char* data, std::size_t length, const std::filesystem::path& path)
{
    while (length > 0) {
        const ssize_t written = ::write(fd, data, length);
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) throw systemError("cannot write " + path.string());
        data += written;
        length -= std::size_t(written);
    }
}

// Random bytes are produced in whole 8-byte words, so every buffer but the
// last must be a multiple of 8 for the stream to match randomBytes().
constexpr std::size_t writeBufferSize = 1 << 20;

} // namespace

ScratchDir::ScratchDir(std::string_view prefix)
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/" + std::string(prefix) + "-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!::mkdtemp(buffer.data())) throw systemError("cannot create a scratch directory from " + pattern);
    path_ = buffer.data();
    if (::chmod(path_.c_str(), 0755) != 0) throw systemError("cannot chmod " + path_.string());
}

ScratchDir::~ScratchDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path ScratchDir::writeRandomFile(const std::filesystem::path& relative, std::int64_t size,
                                                  std::uint64_t seed) const
{
    const std::filesystem::path target = path_ / relative;
    std::filesystem::create_directories(target.parent_path());
    const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw systemError("cannot create " + target.string());
    RandomStream stream(seed);
    std::vector<char> buffer(writeBufferSize);
    try {
        for (std::int64_t left = size; left > 0;) {
            const std::size_t chunk = std::size_t(std::min<std::int64_t>(left, std::int64_t(buffer.size())));
            stream.fill(buffer.data(), chunk);
            writeAll(fd, buffer.data(), chunk, target);
            left -= std::int64_t(chunk);
        }
    } catch (...) {
        ::close(fd);
        throw;
    }
    if (::close(fd) != 0) throw systemError("cannot close " + target.string());
    return target;
}

std::filesystem::path ScratchDir::writeFile(const std::filesystem::path& relative, std::string_view content) const
{
    const std::filesystem::path target = path_ / relative;
    std::filesystem::create_directories(target.parent_path());
    const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw systemError("cannot create " + target.string());
    try {
        writeAll(fd, content.data(), content.size(), target);
    } catch (...) {
        ::close(fd);
        throw;
    }
    if (::close(fd) != 0) throw systemError("cannot close " + target.string());
    return target;
}

std::string randomBytes(std::size_t size, std::uint64_t seed)
{
    std::string bytes(size, '\0');
    RandomStream(seed).fill(bytes.data(), size);
    return bytes;
}

std::string readWholeFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + path.string());
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

} // namespace testsupport
