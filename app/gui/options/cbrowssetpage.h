// "Default brows set": the idle seconds and the button that clears the
// recent URL history at once.
#pragma once

#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

struct CDefaultSetPages;
class CMessageSeam;

class CBrowsSetPage : public QWidget {
  Q_OBJECT

 public:
  explicit CBrowsSetPage(QWidget* parent = nullptr);

  void Show(const CDefaultSetPages& pages);
  // False, after the range message and with the focus on the field, when
  // the field is out of range.
  bool Take(CDefaultSetPages& pages, CMessageSeam& messages);

  QLineEdit* IdleEdit() const { return m_idle; }
  QPushButton* ClearHistoryButton() const { return m_clear; }

 signals:
  void clearHistory();

 private:
  QLineEdit* m_idle;
  QPushButton* m_clear;
};
