// skylark-cli over TLS: certificate checks, redirects between http and
// https, resume after a kill, and FTP over TLS, against loopback servers
// with certificates made for the run.
#include <signal.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testservers.h"

namespace {

namespace ts = testsupport;
using Kind = ts::TestCertificates::Kind;

class CliTls : public ::testing::Test {
 protected:
  ts::ProgramRun Cli(std::vector<std::string> args, int killafter = 0) {
    return ts::runProgram(SKYLARK_CLI, args, {.home = home, .killafterms = killafter, .killsignal = SIGKILL});
  }
  ts::NginxTls Tls(Kind kind) const {
    return {certificates.certificateFile(kind).string(), certificates.keyFile().string(), {}};
  }
  std::string Sha(const std::string& name) const {
    const auto path = out.path() / "dl" / name;
    return std::filesystem::exists(path) ? ts::sha256OfFile(path) : "missing";
  }

  const ts::TestCertificates certificates;
  const std::string ca = certificates.caFile().string();
  ts::ScratchDir files{"skylark-tls-src"};
  ts::ScratchDir out{"skylark-tls-out"};
  std::string home = (out.path() / "home").string();
  std::string dir = (out.path() / "dl").string();
};

TEST_F(CliTls, CertificatesAreCheckedOnEveryBranch) {
  const auto source = files.writeRandomFile("a.bin", 1 << 20, 21);
  const std::string sum = ts::sha256OfFile(source);
  const struct {
    Kind kind;
    std::vector<std::string> trust;
    const char* says;  // nullptr: the download succeeds
  } cases[] = {
      {Kind::Valid, {"--ca-certificate", ca}, nullptr},
      {Kind::Valid, {}, "issuer not trusted"},
      {Kind::Expired, {"--ca-certificate", ca}, "certificate has expired"},
      {Kind::WrongHost, {"--ca-certificate", ca}, "certificate is for other.example, not 127.0.0.1"},
      {Kind::SelfSigned, {"--ca-certificate", ca}, "self-signed certificate"},
      {Kind::SelfSigned, {"--insecure"}, nullptr},
  };
  for (const auto& c : cases) {
    ts::NginxServer https(files.path(), {}, Tls(c.kind));
    for (const char* branches : {"1", "4"}) {
      SCOPED_TRACE(certificates.certificateFile(c.kind).filename().string() + " " + branches + " branches");
      std::filesystem::remove(out.path() / "dl" / "a.bin");
      std::vector<std::string> args = {"get", "-n", branches, "-d", dir, "--timeout", "20", "--tries", "2"};
      args.insert(args.end(), c.trust.begin(), c.trust.end());
      args.push_back(https.url("a.bin"));
      const ts::ProgramRun run = Cli(args);
      if (!c.says) {
        EXPECT_EQ(run.status, 0) << run.output;
        EXPECT_EQ(Sha("a.bin"), sum) << run.output;
      } else {
        EXPECT_NE(run.status, 0) << run.output;
        EXPECT_NE(run.output.find(c.says), std::string::npos) << run.output;
      }
      const bool warned = run.output.find("warning: certificates are not checked") != std::string::npos;
      EXPECT_EQ(warned, !c.trust.empty() && c.trust.front() == "--insecure") << run.output;
    }
  }
}

// TLS on ::1: the certificate names the IPv6 address, and FTP's data
// connections go by EPSV.
TEST_F(CliTls, HttpsAndFtpesOverIpv6) {
  if (!ts::hasIpv6Loopback()) GTEST_SKIP() << "this machine has no IPv6 loopback (::1)";
  const auto source = files.writeRandomFile("pub/v6.bin", 1 << 20, 25);
  const std::string sum = ts::sha256OfFile(source);
  const ts::NginxTls valid = Tls(Kind::Valid);
  ts::NginxOptions onipv6;
  onipv6.host = "::1";
  ts::NginxServer https(files.path(), onipv6, valid);
  ts::VsftpdOptions ftponipv6;
  ftponipv6.host = "::1";
  ts::VsftpdServer ftpes(files.path(), ftponipv6, {ts::VsftpdTls::Explicit, valid.certificate, valid.key});
  for (const std::string& url : {https.url("pub/v6.bin"), ftpes.url("pub/v6.bin")}) {
    for (const char* branches : {"1", "4"}) {
      SCOPED_TRACE(url + " " + branches + " branches");
      std::filesystem::remove(out.path() / "dl" / "v6.bin");
      const ts::ProgramRun run =
          Cli({"get", "-n", branches, "-d", dir, "--timeout", "20", "--ca-certificate", ca, url});
      EXPECT_EQ(run.status, 0) << run.output << ftpes.log();
      EXPECT_EQ(Sha("v6.bin"), sum) << run.output;
    }
  }
}

// A server that takes the connection and never answers the handshake is
// waited for as long as any silence, and named.
TEST_F(CliTls, SilentHandshakeTimesOut) {
  files.writeFile("x.bin", "data");
  ts::FaultServer hanging(ts::FaultProtocol::Http, "hang", files.path());
  const std::string url = "https" + hanging.url("x.bin").substr(4);
  const ts::ProgramRun run =
      Cli({"get", "-d", dir, "--timeout", "20", "--idle-timeout", "1", "--tries", "1", "--retry-wait", "0.1", url});
  EXPECT_NE(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("timed out waiting for the TLS handshake"), std::string::npos) << run.output;
}

TEST_F(CliTls, RedirectsGoBetweenHttpAndHttps) {
  const auto source = files.writeRandomFile("real/a.bin", 600000, 22);
  ts::NginxServer last(files.path());
  ts::NginxServer middle(
      files.path(), {}, {Tls(Kind::Valid).certificate, Tls(Kind::Valid).key, {{"/hop/a.bin", last.url("real/a.bin")}}});
  ts::NginxServer first(
      files.path(), {},
      {"", "", {{"/start/a.bin", middle.url("hop/a.bin")}, {"/secure/a.bin", middle.url("real/a.bin")}}});
  // Every branch follows the probe to the server it ends on, in its scheme.
  for (const char* path : {"start/a.bin", "secure/a.bin"}) {
    std::filesystem::remove(out.path() / "dl" / "a.bin");
    const ts::ProgramRun run =
        Cli({"get", "-n", "3", "-d", dir, "--timeout", "20", "--ca-certificate", ca, first.url(path)});
    EXPECT_EQ(run.status, 0) << path << "\n" << run.output;
    EXPECT_EQ(Sha("a.bin"), ts::sha256OfFile(source)) << path << "\n" << run.output;
  }
  EXPECT_NE(middle.accessLog().find("/hop/a.bin"), std::string::npos) << middle.accessLog();
}

TEST_F(CliTls, KilledHttpsDownloadResumes) {
  const auto source = files.writeRandomFile("k.bin", 1500000, 23);
  ts::NginxServer https(files.path(), {.rateLimit = 150000}, Tls(Kind::Valid));
  const std::vector<std::string> args = {"get",
                                         "-n",
                                         "3",
                                         "-d",
                                         dir,
                                         "--list",
                                         (out.path() / "tasks.dat").string(),
                                         "--ca-certificate",
                                         ca,
                                         https.url("k.bin")};
  EXPECT_EQ(Cli(args, 2000).status, 128 + SIGKILL);
  const ts::ProgramRun second = Cli(args);
  EXPECT_EQ(second.status, 0) << second.output;
  EXPECT_NE(second.output.find("continuing the stored task"), std::string::npos) << second.output;
  EXPECT_EQ(Sha("k.bin"), ts::sha256OfFile(source)) << second.output;
}

TEST_F(CliTls, FtpOverTlsBrowsesAndDownloads) {
  const auto source = files.writeRandomFile("pub/f.bin", 2 << 20, 24);
  const std::string cert = Tls(Kind::Valid).certificate, key = Tls(Kind::Valid).key;
  for (auto mode : {ts::VsftpdTls::Explicit, ts::VsftpdTls::Implicit}) {
    ts::VsftpdServer ftp(files.path(), {}, {mode, cert, key});
    SCOPED_TRACE(ftp.url());
    const ts::ProgramRun list = Cli({"ls", "--timeout", "20", "--ca-certificate", ca, ftp.url("pub/")});
    EXPECT_EQ(list.status, 0) << list.output << ftp.log();
    EXPECT_NE(list.output.find("f.bin"), std::string::npos) << list.output;
    for (const char* branches : {"1", "4"}) {
      std::filesystem::remove(out.path() / "dl" / "f.bin");
      const ts::ProgramRun run =
          Cli({"get", "-n", branches, "-d", dir, "--timeout", "20", "--ca-certificate", ca, ftp.url("pub/f.bin")});
      EXPECT_EQ(run.status, 0) << run.output << ftp.log();
      EXPECT_EQ(Sha("f.bin"), ts::sha256OfFile(source)) << branches << " branches\n" << run.output;
    }
  }
  // A plain ftp:// URL never speaks TLS: this server refuses it.
  ts::VsftpdServer ftp(files.path(), {}, {ts::VsftpdTls::Explicit, cert, key});
  const std::string plain = "ftp" + ftp.url("pub/f.bin").substr(5);
  const ts::ProgramRun run = Cli({"get", "-d", dir, "--timeout", "20", "--tries", "1", plain});
  EXPECT_NE(run.status, 0) << run.output;
}

}  // namespace
