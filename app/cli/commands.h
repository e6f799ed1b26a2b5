// The subcommands of skylark-cli. Each returns the process exit status.
#pragma once

#include <cstdio>

int runget(int argc, char** argv);  // skylark-cli get [options] URL
int runls(int argc, char** argv);   // skylark-cli ls [options] URL

// "skylark-cli tasks": the stored download tasks, then the browse tasks.
void printdownloadtasks(std::FILE* out);
void printbrowsetasks(std::FILE* out);
