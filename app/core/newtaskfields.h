// What the two pages of the new-task sheet hold. The frame keeps one
// CNewTaskPages for its whole life, so what the user typed is there again
// the next time the sheet opens.
#pragma once

#include <QString>

#include <cstdint>

struct CBrowsFields {
  QString url;
  QString user;
  QString pass;
  uint32_t port = 0;
  bool pasvmode = true;
  bool ascimode = false;
  bool connectnow = false;
};

// A download page holds what a site page holds, and where and how wide.
struct CFileDownFields : CBrowsFields {
  QString savedir;
  uint32_t branches = 1;
};

enum NewTaskPage { kBrowsPage = 0, kFileDownPage = 1 };

struct CNewTaskPages {
  CBrowsFields brows;
  CFileDownFields download;
  int page = kBrowsPage;  // the page active when the sheet last closed with OK
  bool open = false;      // the sheet is showing; clipboard and drops leave it alone
};

inline constexpr uint32_t kMaxPort = 65535;
