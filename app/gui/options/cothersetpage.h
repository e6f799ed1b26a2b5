// "Others": the clipboard watch, desktop notifications, the FTP transfer modes and a CA file to trust.
#pragma once

#include <QCheckBox>
#include <QLineEdit>
#include <QWidget>

struct CDefaultSetPages;

class COtherSetPage : public QWidget {
  Q_OBJECT

 public:
  explicit COtherSetPage(QWidget* parent = nullptr);

  void Show(const CDefaultSetPages& pages);
  void Take(CDefaultSetPages& pages) const;

  QCheckBox* CheckClipBox() const { return m_checkclip; }
  QCheckBox* NotifyBox() const { return m_notify; }
  QCheckBox* PasvModeBox() const { return m_pasvmode; }
  QCheckBox* AsciiModeBox() const { return m_ascimode; }
  QLineEdit* CaCertificateEdit() const { return m_cacertificate; }

 private:
  QCheckBox* m_checkclip;
  QCheckBox* m_notify;
  QCheckBox* m_pasvmode;
  QCheckBox* m_ascimode;
  QLineEdit* m_cacertificate;
};
