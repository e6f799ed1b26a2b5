#include "testcertificates.h"

#include <fstream>
#include <stdexcept>

#include "programrun.h"

namespace testsupport {

namespace {
const char* const names[] = {"valid.pem", "expired.pem", "wronghost.pem", "selfsigned.pem"};

void openssl(const std::vector<std::string>& args)
{
    const ProgramRun run = runProgram("/usr/bin/openssl", args);
    if (run.status != 0) throw std::runtime_error("openssl " + args.front() + " failed: " + run.output);
}
} // namespace

std::filesystem::path TestCertificates::certificateFile(Kind kind) const
{
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
