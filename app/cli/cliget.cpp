#include "commands.h"

int runget(int, char**)
{
    std::fprintf(stderr, "skylark-cli get: not available yet\n");
    return 2;
}

void printdownloadtasks(std::FILE*) {}
