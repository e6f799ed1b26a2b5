// "New task set": the browse page and the download page over the frame's
// CNewTaskPages. It opens on the remembered page with the focus in its URL,
// the fields nobody set in this session showing the stored default set. OK
// refuses to close while a page holds an out-of-range number, and only OK
// updates the pages and remembers the page that was showing.
#pragma once

#include <QDialog>
#include <QTabWidget>

#include "core/defaultset.h"
#include "core/newtaskfields.h"

class CBrowsPage;
class CFileDownPage;
class CMessageSeam;

class CNewTaskSheet : public QDialog {
  Q_OBJECT

 public:
  CNewTaskSheet(CNewTaskPages& pages, CMessageSeam& messages, QWidget* parent = nullptr);

  CBrowsPage* BrowsPage() const { return m_brows; }
  CFileDownPage* FileDownPage() const { return m_download; }
  QTabWidget* Tabs() const { return m_tabs; }

  void accept() override;

 private:
  CNewTaskPages& m_pages;
  CMessageSeam& m_messages;
  const CDefaultSetPages m_defaults;  // as stored when the sheet opened
  QTabWidget* m_tabs;
  CBrowsPage* m_brows;
  CFileDownPage* m_download;
};
