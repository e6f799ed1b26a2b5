#include "loopbackclient.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace fixturecheck {

namespace {

constexpr int ioTimeoutMs = 15000;

std::runtime_error socketError(const std::string& what)
{
    return std::runtime_error(what + ": " + std::strerror(errno));
}

sockaddr_in loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(std::uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

int connectLoopback(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw socketError("socket");
    const sockaddr_in address = loopback(port);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        throw socketError("connect to port " + std::to_string(port));
    }
    return fd;
}

bool waitReadable(int fd, int timeoutMs)
{
    pollfd entry{fd, POLLIN, 0};
    int ready;
    while ((ready = ::poll(&entry, 1, timeoutMs)) < 0 && errno == EINTR) {
    }
    return ready > 0;
}

// Appends what arrives to `out`; false on end of stream or time-out.
bool receiveSome(int fd, std::string& out, int timeoutMs)
{
    if (!waitReadable(fd, timeoutMs))
        return false;
    char buffer[65536];
    const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
    if (got <= 0)
        return false;
    out.append(buffer, std::size_t(got));
    return true;
}

std::string receiveAll(int fd)
{
    std::string data;
    while (receiveSome(fd, data, ioTimeoutMs)) {
    }
    return data;
}

void sendAll(int fd, const std::string& text)
{
    for (std::size_t sent = 0; sent < text.size();) {
        const ssize_t written = ::send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (written < 0)
            throw socketError("send");
        sent += std::size_t(written);
    }
}

struct Descriptor {
    int fd;
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

}  // namespace

HttpResponse httpExchange(int port, const std::string& request)
{
    Descriptor connection{connectLoopback(port)};
    sendAll(connection.fd, request);
    const std::string raw = receiveAll(connection.fd);
    HttpResponse response;
    const auto statusEnd = raw.find("\r\n");
    const auto headerEnd = raw.find("\r\n\r\n");
    if (statusEnd == std::string::npos || headerEnd == std::string::npos)
        throw std::runtime_error("incomplete HTTP response: " + raw.substr(0, 200));
    response.statusLine = raw.substr(0, statusEnd);
    response.header = raw.substr(statusEnd + 2, headerEnd + 2 - (statusEnd + 2));
    response.body = raw.substr(headerEnd + 4);
    return response;
}

std::string httpGet(int port, const std::string& path, const std::string& extraFields)
{
    return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\nConnection: close\r\n" + extraFields + "\r\n";
}

std::string decodeChunked(const std::string& body)
{
    std::string out;
    std::size_t at = 0;
    for (;;) {
        const auto lineEnd = body.find("\r\n", at);
        if (lineEnd == std::string::npos)
            throw std::runtime_error("chunk size line without end");
        const std::size_t size = std::stoul(body.substr(at, lineEnd - at), nullptr, 16);
        at = lineEnd + 2;
        if (size == 0)
            return out;
        out += body.substr(at, size);
        at += size + 2;
    }
}

FtpClient::FtpClient(int port) : control_(connectLoopback(port))
{
    greeting_ = readReply(ioTimeoutMs);
}

FtpClient::~FtpClient()
{
    ::close(control_);
}

FtpReply FtpClient::readReply(int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    FtpReply reply;
    std::size_t lineStart = 0;
    for (;;) {
        const auto lineEnd = pending_.find("\r\n", lineStart);
        if (lineEnd != std::string::npos) {
            const std::string line = pending_.substr(lineStart, lineEnd - lineStart);
            if (lineStart == 0)
                reply.code = std::atoi(line.c_str());
            lineStart = lineEnd + 2;
            if (line.size() >= 4 && line[3] == ' ' && std::atoi(line.c_str()) == reply.code) {
                reply.text = pending_.substr(0, lineStart);
                pending_.erase(0, lineStart);
                return reply;
            }
            continue;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !receiveSome(control_, pending_, int(left.count())))
            return FtpReply{};
    }
}

FtpReply FtpClient::command(const std::string& line)
{
    sendAll(control_, line + "\r\n");
    return readReply(ioTimeoutMs);
}

void FtpClient::login(const std::string& user, const std::string& password)
{
    const FtpReply userReply = command("USER " + user);
    const FtpReply passReply = userReply.code == 331 ? command("PASS " + password) : userReply;
    if (passReply.code != 230)
        throw std::runtime_error("login refused: " + passReply.text);
}

std::string FtpClient::retrieve(const std::string& path, DataMode mode)
{
    Descriptor data{-1};
    Descriptor listener{-1};
    if (mode == DataMode::Passive) {
        lastPasv_ = command("PASV");
        const auto open = lastPasv_.text.find('(');
        int h1, h2, h3, h4, p1, p2;
        if (lastPasv_.code != 227 || open == std::string::npos ||
            std::sscanf(lastPasv_.text.c_str() + open, "(%d,%d,%d,%d,%d,%d)", &h1, &h2, &h3, &h4, &p1, &p2) != 6)
            throw std::runtime_error("bad PASV reply: " + lastPasv_.text);
        // The control address, whatever the reply names.
        data.fd = connectLoopback(p1 * 256 + p2);
    } else {
        listener.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = loopback(0);
        socklen_t length = sizeof address;
        if (listener.fd < 0 || ::bind(listener.fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listener.fd, 1) != 0 ||
            ::getsockname(listener.fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            throw socketError("active-mode listener");
        const int port = ntohs(address.sin_port);
        const FtpReply portReply =
            command("PORT 127,0,0,1," + std::to_string(port / 256) + "," + std::to_string(port % 256));
        if (portReply.code != 200)
            throw std::runtime_error("PORT refused: " + portReply.text);
    }
    const FtpReply start = command("RETR " + path);
    if (start.code != 150 && start.code != 125)
        throw std::runtime_error("RETR refused: " + start.text);
    if (mode == DataMode::Active) {
        if (!waitReadable(listener.fd, ioTimeoutMs))
            throw std::runtime_error("server did not connect for active mode");
        data.fd = ::accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (data.fd < 0)
            throw socketError("accept");
    }
    std::string content = receiveAll(data.fd);
    ::close(data.fd);
    data.fd = -1;
    readReply(3000);
    return content;
}

}  // namespace fixturecheck
