// The browse pane: owns the browse list and its control, loads
// "lark1.dat" when made and saves it when destroyed, and ticks the list
// once a second once the frame says so.
#pragma once

#include <QString>
#include <QTimer>
#include <QWidget>

#include <memory>

class CMessageSeam;
class CSiteBrowsCtrl;
class CSiteBrowsList;

class CSiteBrowseView : public QWidget {
  Q_OBJECT

 public:
  // `messages` must outlive the view. `listpath` defaults to BrowseListPath().
  explicit CSiteBrowseView(CMessageSeam& messages, QWidget* parent = nullptr, QString listpath = QString());
  ~CSiteBrowseView() override;

  CSiteBrowsList& List() { return *m_list; }
  CSiteBrowsCtrl& Ctrl() { return *m_ctrl; }

  // Starts the 1000 ms browsetick timer (after the list check and the node
  // recreation of start-up).
  void StartTicking();

 private:
  CMessageSeam& m_messages;
  QString m_listpath;
  bool m_maywriteback = true;
  std::unique_ptr<CSiteBrowsList> m_list;
  CSiteBrowsCtrl* m_ctrl;  // a child widget
  QTimer m_tick;
};
