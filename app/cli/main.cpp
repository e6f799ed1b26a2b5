// skylark-cli: download and browse tasks without a window, for scripts,
// tests and benchmarks.
#include <QCoreApplication>

#include <cstring>

#include "commands.h"
#include "lark.h"

namespace {
int usage(std::FILE* out, int status) {
  std::fprintf(out,
               "usage: skylark-cli get [options] URL    download one file (get --help for its options)\n"
               "       skylark-cli ls [options] URL     list an FTP directory (ls --help)\n"
               "       skylark-cli tasks                the stored download and browse tasks\n"
               "       skylark-cli --version\n");
  return status;
}
}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  QCoreApplication::setApplicationVersion(QStringLiteral(SKYLARK_VERSION));
  if (argc < 2) return usage(stderr, 2);
  const char* command = argv[1];
  if (std::strcmp(command, "--help") == 0 || std::strcmp(command, "-h") == 0) return usage(stdout, 0);
  if (std::strcmp(command, "--version") == 0) {
    std::printf("skylark-cli %s\n", SKYLARK_VERSION);
    return 0;
  }
  if (std::strcmp(command, "tasks") == 0) {
    printdownloadtasks(stdout);
    printbrowsetasks(stdout);
    return 0;
  }
  if (std::strcmp(command, "get") != 0 && std::strcmp(command, "ls") != 0) return usage(stderr, 2);
  lark::startengine();
  int status = std::strcmp(command, "get") == 0 ? runget(argc - 1, argv + 1) : runls(argc - 1, argv + 1);
  lark::releasedllres();
  return status;
}
