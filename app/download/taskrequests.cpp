#include "taskrequests.h"

#include "core/urlhost.h"
#include "lark.h"

std::string FtpPath(void* node) {
  std::string path;
  lark::getftppathfile(node, path);
  return path;
}

std::string HttpRequestHead(void* node) {
  std::string server;
  lark::getservername(node, server);
  server = UrlHost(server);
  std::string scheme = "http";
  lark::getscheme(node, scheme);
  // A port other than the scheme's belongs in Host and Referer.
  const unsigned standard = scheme == "https" ? 443 : 80;
  unsigned port = standard;
  if (lark::getserverport(node, port) == 0 && port != standard) server += ":" + std::to_string(port);
  const std::string path = FtpPath(node);
  return "GET " + path + " HTTP/1.1\r\nHost: " + server +
         "\r\nAccept: */*\r\nPragma: no-cache\r\nCache-Control: no-cache\r\nUser-Agent: Skylark\r\n"
         "Referer: " +
         scheme + "://" + server + path + "\r\nConnection: close\r\n";
}

std::string FtpLoginScript(void* node) {
  std::string user, pass;
  int ascii = 0;
  lark::getuser(node, user);
  lark::getpass(node, pass);
  lark::getascimode(node, ascii);
  return "user " + user + "\r\npass " + pass + "\r\n" + (ascii ? "type A" : "type I") + "\r\n";
}

bool IsHttp(void* node) {
  unsigned protocol = 0;
  return lark::getserverprotocol(node, protocol) == 0 && protocol == 1;
}
