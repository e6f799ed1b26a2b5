// The command line of skylark-cli's subcommands, read by QCommandLineParser:
// the options both take, each with its help text and range, --help and
// --version, and the URL.
#pragma once

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <string>

struct ConnectionOptions {
  QString url, user, pass;  // credentials in the URL are moved out of it
  unsigned port = 0;
  bool active = false;
  bool epsv = false;
  int timeout = 60;  // seconds for the whole run
  unsigned connecttimeout = 30;
  unsigned idletimeout = 60;
  std::string cafile;
  bool insecure = false;
};

class CliCommandLine {
 public:
  // `command` is the subcommand ("get", "ls"), `synopsis` what --help says it does.
  CliCommandLine(const char* command, const QString& synopsis);

  QCommandLineParser& Parser() { return m_parser; }

  // Reads the subcommand's arguments (its name first). -1 to go on;
  // otherwise the exit status: 0 after --help or --version on stdout, 2
  // after a usage error, one line on stderr.
  int Parse(const QStringList& arguments);
  // The shared options; false after a one-line error.
  bool Read(ConnectionOptions& options);
  // An integer option within [low, high]; false after "WHAT must be ...".
  bool Number(const QString& name, long low, long high, const char* what, long& value);
  bool Seconds(const QString& name, double low, double high, const char* what, double& value);
  // "skylark-cli COMMAND: TEXT" on stderr; returns 2.
  int Usage(const QString& text) const;

 private:
  const char* m_command;
  QCommandLineParser m_parser;
};

// The arguments of a subcommand as QCommandLineParser wants them.
QStringList SubcommandArguments(int argc, char** argv);
