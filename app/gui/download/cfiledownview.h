// The pane that holds the download list: owns the task list and its
// control, and drives the scheduler once a second.
#pragma once

#include <QTimer>
#include <QWidget>

#include <memory>

class CDownloadList;
class CFileDownCtrl;
class CMessageSeam;

class CFileDownView : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kTickMilliseconds = 1000;

  // Creates the list (loading "lark2.dat") and starts the timer.
  explicit CFileDownView(CMessageSeam& messages, QWidget* parent = nullptr);
  // Stops the timer; the control saves the list as it goes.
  ~CFileDownView() override;

  CDownloadList& List() { return *m_list; }
  CFileDownCtrl& Ctrl() { return *m_ctrl; }

 private:
  std::unique_ptr<CDownloadList> m_list;
  std::unique_ptr<CFileDownCtrl> m_ctrl;  // destroyed first: it saves the list
  QTimer m_timer;
};
