// What the two pages of the new-task sheet hold. The frame keeps one
// CNewTaskPages for its whole life, so what the user typed is there again
// the next time the sheet opens.
#pragma once

#include <QString>

#include <cstdint>
#include <utility>

// A field the saved default set fills until it is set in this session, by
// the user on the sheet or by a command that fills the sheet for a task
// (a file row's own FTP modes). Any assignment counts as set, so those
// commands need not know about the default set.
template <typename T>
class CDefaulted {
 public:
  // Implicit both ways, so the field reads and is assigned like a plain one.
  CDefaulted(T value = T()) : m_value(std::move(value)) {}
  CDefaulted& operator=(const T& value) {
    m_value = value;
    m_set = true;
    return *this;
  }
  operator const T&() const { return m_value; }
  const T& Value() const { return m_value; }
  bool IsSet() const { return m_set; }
  // The default shows while the field is not set; a set field equal to the
  // default goes back to following it, so a later change of the default set
  // reaches it too.
  void Follow(const T& fallback) {
    if (m_set && m_value == fallback) m_set = false;
    if (!m_set) m_value = fallback;
  }

 private:
  T m_value;
  bool m_set = false;
};

struct CBrowsFields {
  QString url;
  QString user;
  QString pass;
  uint32_t port = 0;
  CDefaulted<bool> pasvmode = true;
  CDefaulted<bool> ascimode = false;
  bool connectnow = false;
};

// A download page holds what a site page holds, and where and how wide.
struct CFileDownFields : CBrowsFields {
  CDefaulted<QString> savedir;
  CDefaulted<uint32_t> branches = 1u;
};

enum NewTaskPage { kBrowsPage = 0, kFileDownPage = 1 };

struct CNewTaskPages {
  CNewTaskPages() { brows.connectnow = true; }  // a site is browsed at once unless the user says otherwise

  CBrowsFields brows;
  CFileDownFields download;
  int page = kFileDownPage;  // the page active when the sheet last closed with OK
  bool open = false;         // the sheet is showing; clipboard and drops leave it alone
};

inline constexpr uint32_t kMaxPort = 65535;
