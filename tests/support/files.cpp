// Scratch directories, checksums, child programs and test certificates.
#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "testservers.h"

namespace testsupport {

namespace {

// splitmix64 from `state` on: cheap, well mixed, and fast enough for
// hundreds of MiB. The stream is made in 8-byte words, so every piece but
// the last must be a multiple of 8 long for a file to match randomBytes().
void fillRandom(std::uint64_t& state, char* out, std::size_t length)
{
    for (std::size_t at = 0; at < length; at += 8) {
        std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        z ^= z >> 31;
        std::memcpy(out + at, &z, std::min<std::size_t>(8, length - at));
    }
}

std::runtime_error systemError(const std::string& what)
{
    return std::runtime_error(what + ": " + std::strerror(errno));
}

std::filesystem::path writeWith(const std::filesystem::path& target, const std::function<void(std::ofstream&)>& write)
{
    std::filesystem::create_directories(target.parent_path());
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    if (out) write(out);
    if (!out.flush()) throw systemError("cannot write " + target.string());
    return target;
}

} // namespace

ScratchDir::ScratchDir(std::string_view prefix)
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/" + std::string(prefix) + "-XXXXXX";
    if (!::mkdtemp(pattern.data())) throw systemError("cannot create a scratch directory from " + pattern);
    path_ = pattern;
    // Servers that drop privileges (vsftpd's sessions) must still read it.
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
    return writeWith(path_ / relative, [&](std::ofstream& out) {
        std::uint64_t state = seed;
        std::vector<char> buffer(1 << 20);
        for (std::int64_t left = size; left > 0 && out;) {
            const auto piece = static_cast<std::size_t>(std::min<std::int64_t>(left, std::int64_t(buffer.size())));
            fillRandom(state, buffer.data(), piece);
            out.write(buffer.data(), std::streamsize(piece));
            left -= std::int64_t(piece);
        }
    });
}

std::filesystem::path ScratchDir::writeFile(const std::filesystem::path& relative, std::string_view content) const
{
    return writeWith(path_ / relative,
                     [&](std::ofstream& out) { out.write(content.data(), std::streamsize(content.size())); });
}

std::string randomBytes(std::size_t size, std::uint64_t seed)
{
    std::string bytes(size, '\0');
    std::uint64_t state = seed;
    fillRandom(state, bytes.data(), size);
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

std::string sha256OfFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1)
        throw std::runtime_error("no SHA-256 from OpenSSL");
    char buffer[1 << 16];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0)
        EVP_DigestUpdate(context.get(), buffer, static_cast<size_t>(in.gcount()));
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    EVP_DigestFinal_ex(context.get(), digest, &length);
    static const char hex[] = "0123456789abcdef";
    std::string text;
    for (unsigned i = 0; i < length; ++i) text += {hex[digest[i] >> 4], hex[digest[i] & 15]};
    return text;
}

ProgramRun runProgram(const std::string& program, const std::vector<std::string>& args, const ProgramOptions& options)
{
    ProgramRun run;
    std::vector<std::string> words = args;
    words.insert(words.begin(), program);
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    int pipefd[2];
    if (::pipe2(pipefd, O_CLOEXEC) != 0) return run;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipefd[1], 1);
        ::dup2(pipefd[1], 2);
        if (!options.home.empty()) ::setenv("SKYLARK_HOME", options.home.c_str(), 1);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(pipefd[1]);
    if (pid < 0) {
        ::close(pipefd[0]);
        return run;
    }
    // The child is not reaped before the kill, so its pid cannot be reused.
    if (options.killafterms > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(options.killafterms));
        ::kill(pid, options.killsignal);
    }
    char buffer[4096];
    for (ssize_t n; (n = ::read(pipefd[0], buffer, sizeof buffer)) != 0;) {
        if (n > 0)
            run.output.append(buffer, static_cast<size_t>(n));
        else if (errno != EINTR)
            break;
    }
    ::close(pipefd[0]);
    int status = 0;
    rusage usage{};
    pid_t waited;
    while ((waited = ::wait4(pid, &status, 0, &usage)) < 0 && errno == EINTR) {
    }
    if (waited != pid) return run;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.peakkib = usage.ru_maxrss;
    return run;
}

namespace {
void openssl(const std::vector<std::string>& args)
{
    const ProgramRun run = runProgram("/usr/bin/openssl", args);
    if (run.status != 0) throw std::runtime_error("openssl " + args.front() + " failed: " + run.output);
}
} // namespace

std::filesystem::path TestCertificates::certificateFile(Kind kind) const
{
    static const char* const names[] = {"valid.pem", "expired.pem", "wronghost.pem", "selfsigned.pem"};
    return dir_ / names[kind];
}

TestCertificates::TestCertificates()
{
    const std::string d = dir_.path().string() + "/";
    const std::string ec = "ec_paramgen_curve:prime256v1";
    const std::string names = "subjectAltName=IP:127.0.0.1,IP:::1,DNS:localhost";
    openssl({"req", "-x509", "-newkey", "ec", "-pkeyopt", ec, "-nodes", "-keyout", d + "ca.key", "-out", d + "ca.pem",
             "-days", "30", "-subj", "/CN=Skylark Test CA", "-addext", "basicConstraints=critical,CA:TRUE", "-addext",
             "keyUsage=critical,keyCertSign,cRLSign"});
    openssl({"req", "-new", "-newkey", "ec", "-pkeyopt", ec, "-nodes", "-keyout", d + "server.key", "-out",
             d + "server.csr", "-subj", "/CN=127.0.0.1"});
    std::ofstream(d + "valid.ext") << names << "\n";
    std::ofstream(d + "wronghost.ext") << "subjectAltName=DNS:other.example\n";
    for (const char* kind : {"valid", "wronghost"})
        openssl({"x509", "-req", "-in", d + "server.csr", "-CA", d + "ca.pem", "-CAkey", d + "ca.key",
                 "-CAcreateserial", "-days", "30", "-out", d + kind + ".pem", "-extfile", d + kind + ".ext"});
    // openssl ca is the one command of 3.0 that signs with dates in the past.
    std::ofstream(d + "index.txt").close();
    std::ofstream(d + "serial") << "1000\n";
    std::ofstream(d + "ca.cnf") << "[ca]\ndefault_ca=test\n[test]\ndatabase=" << d << "index.txt\nnew_certs_dir=" << d
                                << "\nserial=" << d << "serial\ncertificate=" << d << "ca.pem\nprivate_key=" << d
                                << "ca.key\ndefault_md=sha256\npolicy=any\n[any]\ncommonName=supplied\n";
    openssl({"ca", "-batch", "-notext", "-config", d + "ca.cnf", "-in", d + "server.csr", "-out", d + "expired.pem",
             "-startdate", "20200101000000Z", "-enddate", "20200201000000Z", "-extfile", d + "valid.ext"});
    openssl({"req", "-x509", "-key", d + "server.key", "-out", d + "selfsigned.pem", "-days", "30", "-subj",
             "/CN=127.0.0.1", "-addext", names});
}

} // namespace testsupport
