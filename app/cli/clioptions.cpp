#include "clioptions.h"

#include <QCoreApplication>

#include <cstdio>

#include "core/urlcredentials.h"

CliCommandLine::CliCommandLine(const char* command, const QString& synopsis) : m_command(command) {
  m_parser.setApplicationDescription(synopsis);
  m_parser.addHelpOption();
  // Not addVersionOption(): its -v is get's --verbose.
  m_parser.addOption({"version", "Print the version and stop."});
  m_parser.addOptions({
      {{"u", "user"}, "Log in as USER (default: anonymous, or the URL's).", "USER"},
      {{"p", "pass"}, "The password for USER.", "PASS"},
      {{"P", "port"}, "The server's port (default: the scheme's).", "PORT"},
      {"active", "FTP: active mode (the server connects back) instead of passive."},
      {"epsv", "FTP: EPSV and EPRT on IPv4 too (IPv6 always uses them)."},
      {"timeout", "Give up after SECONDS in all (default 60).", "SECONDS"},
      {"connect-timeout", "Wait at most SECONDS for a connection (default 30).", "SECONDS"},
      {"idle-timeout", "Wait at most SECONDS for a silent server (default 60).", "SECONDS"},
      {"ca-certificate", "Trust the CA certificates in FILE besides the system's.", "FILE"},
      {"insecure", "Do not check certificates (warns on every run)."},
  });
  m_parser.addPositionalArgument("URL", "The file or directory, e.g. https://host/file or ftp://host/dir/.");
}

int CliCommandLine::Usage(const QString& text) const {
  std::fprintf(stderr, "skylark-cli %s: %s\n", m_command, qPrintable(text));
  return 2;
}

int CliCommandLine::Parse(const QStringList& arguments) {
  if (!m_parser.parse(arguments)) return Usage(m_parser.errorText());
  if (m_parser.isSet("help")) {
    std::fputs(qPrintable(m_parser.helpText()), stdout);
    return 0;
  }
  if (m_parser.isSet("version")) {
    std::printf("skylark-cli %s\n", qPrintable(QCoreApplication::applicationVersion()));
    return 0;
  }
  const QStringList urls = m_parser.positionalArguments();
  if (urls.isEmpty()) return Usage(QStringLiteral("no URL given (see --help)"));
  if (urls.size() > 1) return Usage(QStringLiteral("only one URL, please"));
  return -1;
}

bool CliCommandLine::Number(const QString& name, long low, long high, const char* what, long& value) {
  if (!m_parser.isSet(name)) return true;
  bool ok = false;
  const long number = m_parser.value(name).toLong(&ok);
  if (!ok || number < low || number > high) {
    Usage(QStringLiteral("%1 must be %2 to %3").arg(QLatin1String(what)).arg(low).arg(high));
    return false;
  }
  value = number;
  return true;
}

bool CliCommandLine::Seconds(const QString& name, double low, double high, const char* what, double& value) {
  if (!m_parser.isSet(name)) return true;
  bool ok = false;
  const double number = m_parser.value(name).toDouble(&ok);
  if (!ok || !(number >= low && number <= high)) {
    Usage(QStringLiteral("%1 must be %2 to %3 seconds").arg(QLatin1String(what)).arg(low).arg(high));
    return false;
  }
  value = number;
  return true;
}

bool CliCommandLine::Read(ConnectionOptions& options) {
  options.url = m_parser.positionalArguments().value(0);
  if (m_parser.isSet("user")) options.user = m_parser.value("user");
  if (m_parser.isSet("pass")) options.pass = m_parser.value("pass");
  options.active = m_parser.isSet("active");
  options.epsv = m_parser.isSet("epsv");
  options.insecure = m_parser.isSet("insecure");
  options.cafile = m_parser.value("ca-certificate").toStdString();
  long port = options.port, timeout = options.timeout, connect = options.connecttimeout, idle = options.idletimeout;
  if (!Number("port", 0, 65535, "the port", port) || !Number("timeout", 1, 86400, "the timeout (seconds)", timeout) ||
      !Number("connect-timeout", 1, 86400, "--connect-timeout (seconds)", connect) ||
      !Number("idle-timeout", 1, 86400, "--idle-timeout (seconds)", idle))
    return false;
  options.port = static_cast<unsigned>(port);
  options.timeout = static_cast<int>(timeout);
  options.connecttimeout = static_cast<unsigned>(connect);
  options.idletimeout = static_cast<unsigned>(idle);
  MoveUrlCredentials(options.url, options.user, options.pass);
  return true;
}

QStringList SubcommandArguments(int argc, char** argv) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments.append(QString::fromLocal8Bit(argv[i]));
  return arguments;
}
