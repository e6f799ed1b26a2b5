// The subcommands of skylark-cli. Each returns the process exit status.
#pragma once

#include <cstdio>
#include <string>

int runget(int argc, char** argv);  // skylark-cli get [options] URL
int runls(int argc, char** argv);   // skylark-cli ls [options] URL

// --ca-certificate and --insecure: false, after a message, when the CA file
// cannot be used.
bool applytlsoptions(const char* command, const std::string& cafile, bool insecure);

// "skylark-cli tasks": the stored download tasks, then the browse tasks.
void printdownloadtasks(std::FILE* out);
void printbrowsetasks(std::FILE* out);
