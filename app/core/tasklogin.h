// How a task reaches its server, as both lists store it: the URL, the login
// and the connection's modes. Stored in this order in either list file.
#pragma once

#include <QString>

#include <cstdint>

class CArchive;

struct TaskLogin {
  QString url;
  QString user;
  QString pass;
  uint32_t ascimode = 0;
  uint32_t pasvmode = 0;
  uint32_t port = 0;

  void SerializeLogin(CArchive& ar);
};
