// skylark-cli over TLS: certificate checks, redirects between http and
// https, resume after a kill, and FTP over TLS, against loopback servers
// with certificates made for the run.
#include "clifixture.h"

namespace {

namespace ts = testsupport;
using Kind = ts::TestCertificates::Kind;

class CliTls : public CliTest {
 protected:
  ts::NginxTls Tls(Kind kind) const {
    return {certificates.certificateFile(kind).string(), certificates.keyFile().string(), {}};
  }

  const ts::TestCertificates certificates;
  const std::string ca = certificates.caFile().string();
};

// Every branch checks; on ::1 the certificate names the IPv6 address.
TEST_F(CliTls, CertificatesAreChecked) {
  const std::string sum = Serve("a.bin", 1 << 20, 21);
  const struct {
    Kind kind;
    std::vector<std::string> trust;
    const char* says;  // nullptr: the download succeeds
    const char* host = "127.0.0.1";
  } cases[] = {
      {Kind::Valid, {"--ca-certificate", ca}, nullptr},
      {Kind::Valid, {"--ca-certificate", ca}, nullptr, "::1"},
      {Kind::Valid, {}, "issuer not trusted"},
      {Kind::Expired, {"--ca-certificate", ca}, "certificate has expired"},
      {Kind::WrongHost, {"--ca-certificate", ca}, "certificate is for other.example, not 127.0.0.1"},
      {Kind::SelfSigned, {"--ca-certificate", ca}, "self-signed certificate"},
      {Kind::SelfSigned, {"--insecure"}, nullptr},
  };
  for (const auto& c : cases) {
    if (std::string(c.host) == "::1" && !ts::hasIpv6Loopback()) continue;
    ts::NginxServer https(files.path(), {.host = c.host}, Tls(c.kind));
    std::filesystem::remove(out.path() / "dl" / "a.bin");
    std::vector<std::string> args = {"-n", "4", "--timeout", "20", "--tries", "2"};
    args.insert(args.end(), c.trust.begin(), c.trust.end());
    args.push_back(https.url("a.bin"));
    const ts::ProgramRun run = Get(args);
    SCOPED_TRACE(certificates.certificateFile(c.kind).filename().string() + " on " + c.host + "\n" + run.output);
    if (!c.says) {
      EXPECT_EQ(run.status, 0);
      EXPECT_EQ(Sha("a.bin"), sum);
    } else {
      EXPECT_NE(run.status, 0);
      EXPECT_NE(run.output.find(c.says), std::string::npos);
    }
    const bool warned = run.output.find("warning: certificates are not checked") != std::string::npos;
    EXPECT_EQ(warned, !c.trust.empty() && c.trust.front() == "--insecure");
  }
}

// A server that takes the connection and never answers the handshake is
// waited for as long as any silence, and named.
TEST_F(CliTls, SilentHandshakeTimesOut) {
  files.writeFile("x.bin", "data");
  ts::FaultServer hanging(ts::FaultProtocol::Http, "hang", files.path());
  const std::string url = "https" + hanging.url("x.bin").substr(4);
  const ts::ProgramRun run =
      Get({"--timeout", "20", "--idle-timeout", "1", "--tries", "1", "--retry-wait", "0.1", url});
  EXPECT_NE(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("timed out waiting for the TLS handshake"), std::string::npos) << run.output;
}

TEST_F(CliTls, RedirectsGoBetweenHttpAndHttps) {
  const std::string sum = Serve("real/a.bin", 600000, 22);
  ts::NginxServer last(files.path());
  ts::NginxServer middle(
      files.path(), {}, {Tls(Kind::Valid).certificate, Tls(Kind::Valid).key, {{"/hop/a.bin", last.url("real/a.bin")}}});
  ts::NginxServer first(
      files.path(), {},
      {"", "", {{"/start/a.bin", middle.url("hop/a.bin")}, {"/secure/a.bin", middle.url("real/a.bin")}}});
  // Every branch follows the probe to the server it ends on, in its scheme.
  for (const char* path : {"start/a.bin", "secure/a.bin"}) {
    std::filesystem::remove(out.path() / "dl" / "a.bin");
    const ts::ProgramRun run = Get({"-n", "3", "--timeout", "20", "--ca-certificate", ca, first.url(path)});
    EXPECT_EQ(run.status, 0) << path << "\n" << run.output;
    EXPECT_EQ(Sha("a.bin"), sum) << path << "\n" << run.output;
  }
  EXPECT_NE(middle.accessLog().find("/hop/a.bin"), std::string::npos) << middle.accessLog();
}

}  // namespace
