#pragma once

#include <string>

// Minimal blocking clients, just enough to check the fixtures themselves;
// every read is bounded by a time-out so a silent server fails the test.
namespace fixturecheck {

struct HttpResponse {
    std::string statusLine;
    std::string header;  // field lines, each ending in CR LF
    std::string body;    // as it came on the wire
};

// Sends `request` verbatim to 127.0.0.1:port and reads until the close.
HttpResponse httpExchange(int port, const std::string& request);
std::string httpGet(int port, const std::string& path, const std::string& extraFields = "");
std::string decodeChunked(const std::string& body);

struct FtpReply {
    int code = 0;
    std::string text;  // every line of the reply
};

enum class DataMode { Passive, Active };

class FtpClient {
public:
    explicit FtpClient(int port);
    ~FtpClient();
    FtpClient(const FtpClient&) = delete;
    FtpClient& operator=(const FtpClient&) = delete;

    const FtpReply& greeting() const { return greeting_; }
    FtpReply command(const std::string& line);
    void login(const std::string& user, const std::string& password);
    // RETR through a data connection; the 226 is awaited only briefly, as
    // some servers never send it. The last PASV reply is kept for tests.
    std::string retrieve(const std::string& path, DataMode mode);
    const FtpReply& lastPasvReply() const { return lastPasv_; }

private:
    FtpReply readReply(int timeoutMs);

    int control_ = -1;
    std::string pending_;
    FtpReply greeting_;
    FtpReply lastPasv_;
};

}  // namespace fixturecheck
