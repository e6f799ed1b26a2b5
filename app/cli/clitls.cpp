// The TLS options both subcommands take.
#include <cstdio>

#include "commands.h"
#include "lark.h"

bool applytlsoptions(const char* command, const std::string& cafile, bool insecure) {
  if (insecure) std::fprintf(stderr, "skylark-cli %s: warning: certificates are not checked (--insecure)\n", command);
  if (cafile.empty() && !insecure) return true;
  if (lark::settlsoptions(cafile, insecure ? 0 : 1) == 0) return true;
  std::fprintf(stderr, "skylark-cli %s: cannot load the CA certificate file %s\n", command, cafile.c_str());
  return false;
}
