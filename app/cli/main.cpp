// skylark-cli: download and browse tasks without a window, for scripts,
// tests and benchmarks.
#include <QCoreApplication>

#include <cstring>

#include "commands.h"
#include "lark.h"

namespace {
int usage()
{
    std::fprintf(stderr,
                 "usage: skylark-cli get [-n BRANCHES] [-d DIR] [-u USER] [-p PASS] [-P PORT] [--active] [--epsv]\n"
                 "                       [--ascii] [--list FILE] [--timeout SECONDS] [--connect-timeout SECONDS]\n"
                 "                       [--idle-timeout SECONDS] [--retry-wait SECONDS] [--tries N] [-v]\n"
                 "                       [--ca-certificate FILE] [--insecure] URL\n"
                 "       skylark-cli ls [-u USER] [-p PASS] [-P PORT] [--active] [--epsv] [--timeout SECONDS]\n"
                 "                      [--connect-timeout SECONDS] [--idle-timeout SECONDS]\n"
                 "                      [--ca-certificate FILE] [--insecure] URL\n"
                 "       skylark-cli tasks\n");
    return 2;
}
}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    if (argc < 2) return usage();
    const char* command = argv[1];
    if (std::strcmp(command, "tasks") == 0) {
        printdownloadtasks(stdout);
        printbrowsetasks(stdout);
        return 0;
    }
    if (std::strcmp(command, "get") != 0 && std::strcmp(command, "ls") != 0) return usage();
    lark::startengine();
    int status = std::strcmp(command, "get") == 0 ? runget(argc - 1, argv + 1) : runls(argc - 1, argv + 1);
    lark::releasedllres();
    return status;
}
