// The "Default set" sheet: three pages over the frame's CDefaultSetPages.
// OK refuses to close while a page holds an out-of-range number; the pages
// are updated only when it closes with OK.
#pragma once

#include <QDialog>
#include <QTabWidget>

#include "core/defaultset.h"

class CBrowsSetPage;
class CDownloadSetPage;
class COtherSetPage;
class CMessageSeam;
class CSettingsStore;

class CDefaultSetSheet : public QDialog {
  Q_OBJECT

 public:
  CDefaultSetSheet(CDefaultSetPages& pages, CSettingsStore& store, CMessageSeam& messages, QWidget* parent = nullptr);

  CBrowsSetPage* BrowsPage() const { return m_brows; }
  CDownloadSetPage* DownloadPage() const { return m_download; }
  COtherSetPage* OtherPage() const { return m_other; }
  QTabWidget* Tabs() const { return m_tabs; }

  void accept() override;

 private:
  CDefaultSetPages& m_pages;
  CMessageSeam& m_messages;
  QTabWidget* m_tabs;
  CBrowsSetPage* m_brows;
  CDownloadSetPage* m_download;
  COtherSetPage* m_other;
};

// The whole "Default set" command: fills the pages from the store, runs the
// sheet and, on OK, saves. True when the user confirmed; the caller then
// takes its clipboard switch from pages.checkclip.
bool RunDefaultSet(QWidget* owner, CDefaultSetPages& pages, CMessageSeam& messages);
