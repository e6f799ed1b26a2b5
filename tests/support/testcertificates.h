#pragma once

#include <filesystem>
#include <string>

#include "scratchdir.h"

namespace testsupport {

// A test CA and server certificates made with the openssl command when
// constructed (throws std::runtime_error with its output on failure). Every
// server certificate shares one key; each kind names its certificate file.
class TestCertificates {
public:
    enum Kind {
        Valid,      // from the CA, for 127.0.0.1, ::1 and localhost
        Expired,    // from the CA, the same names, ended in 2020
        WrongHost,  // from the CA, for other.example only
        SelfSigned, // for 127.0.0.1, signed by its own key
    };

    TestCertificates();

    std::filesystem::path caFile() const { return dir_ / "ca.pem"; }
    std::filesystem::path keyFile() const { return dir_ / "server.key"; }
    std::filesystem::path certificateFile(Kind kind) const;

private:
    ScratchDir dir_{"skylark-certs"};
};

} // namespace testsupport
