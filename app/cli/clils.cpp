#include "commands.h"

int runls(int, char**)
{
    std::fprintf(stderr, "skylark-cli ls: not available yet\n");
    return 2;
}

void printbrowsetasks(std::FILE*) {}
