// "Others": the clipboard watch and the FTP transfer modes.
#pragma once

#include <QCheckBox>
#include <QWidget>

struct CDefaultSetPages;

class COtherSetPage : public QWidget {
  Q_OBJECT

 public:
  explicit COtherSetPage(QWidget* parent = nullptr);

  void Show(const CDefaultSetPages& pages);
  void Take(CDefaultSetPages& pages) const;

  QCheckBox* CheckClipBox() const { return m_checkclip; }
  QCheckBox* PasvModeBox() const { return m_pasvmode; }
  QCheckBox* AsciiModeBox() const { return m_ascimode; }

 private:
  QCheckBox* m_checkclip;
  QCheckBox* m_pasvmode;
  QCheckBox* m_ascimode;
};
