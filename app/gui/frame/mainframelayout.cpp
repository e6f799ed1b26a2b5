// The window's layout: its first size, the splitters' proportions and what
// is saved of the window at exit and restored at the next start.
#include <QHeaderView>
#include <QScreen>
#include <QSplitter>

#include <algorithm>

#include "core/settingsstore.h"
#include "gui/widgets/ctreegridctrl.h"
#include "mainframe.h"

namespace {

double Ratio(uint32_t part, uint32_t whole, double otherwise) {
  return whole > 0 ? static_cast<double>(part) / whole : otherwise;
}

// Sizes of the two panes of a splitter from the first one's share of it.
void SplitByRatio(QSplitter* splitter, double ratio) {
  const int extent = splitter->orientation() == Qt::Horizontal ? splitter->width() : splitter->height();
  const int total = extent - splitter->handleWidth();
  if (total <= 0) return;
  const int first = static_cast<int>(total * ratio);
  splitter->setSizes({first, total - first});
}

double ShareOfFirst(const QSplitter* splitter) {
  const QList<int> sizes = splitter->sizes();
  const int total = sizes.value(0) + sizes.value(1);
  return total > 0 ? static_cast<double>(sizes.value(0)) / total : 0.5;
}

}  // namespace

void CMainFrame::ReadRatios(const CSettingsStore& store) {
  uint32_t width = 600, height = 300, leftwidth = 300, leftheight = 200, rightheight = 200;
  store.ReadNumber(settingname::kWidth, width);
  store.ReadNumber(settingname::kHeight, height);
  store.ReadNumber(settingname::kLeftWidth, leftwidth);
  store.ReadNumber(settingname::kLeftHeight, leftheight);
  store.ReadNumber(settingname::kRightHeight, rightheight);
  m_columnratio = std::clamp(Ratio(leftwidth, width, 0.5), 0.0, 1.0);
  m_leftratio = std::clamp(Ratio(leftheight, height, 2.0 / 3.0), 0.0, 1.0);
  m_rightratio = std::clamp(Ratio(rightheight, height, 2.0 / 3.0), 0.0, 1.0);
}

QSize CMainFrame::FirstSize(const QSize& available) {
  const QSize wanted = (available * 0.7).expandedTo(QSize(1000, 650));
  return wanted.boundedTo(available);
}

void CMainFrame::RestoreLayout(const CSettingsStore& store, bool sized) {
  auto stored = [&store](const char* name) {
    QString text;
    return store.ReadText(name, text, kLayoutBuffer) ? QByteArray::fromBase64(text.toLatin1()) : QByteArray();
  };
  if (!restoreGeometry(stored(settingname::kWindowGeometry)) && !sized)
    move(screen()->availableGeometry().center() - rect().center());
  restoreState(stored(settingname::kWindowState));
  m_browse->List()->horizontalHeader()->restoreState(stored(settingname::kBrowseColumns));
  m_download->List()->horizontalHeader()->restoreState(stored(settingname::kDownloadColumns));
}

void CMainFrame::SaveGeometry() {
  CSettingsStore store;
  if (!store.CanWrite()) return;
  const QList<int> columns = m_columns->sizes();
  store.WriteNumber(settingname::kWindowWidth, static_cast<uint32_t>(width()));
  store.WriteNumber(settingname::kWindowHeight, static_cast<uint32_t>(height()));
  store.WriteNumber(settingname::kWidth, static_cast<uint32_t>(columns.value(0) + columns.value(1)));
  store.WriteNumber(settingname::kHeight, static_cast<uint32_t>(m_left->sizes().value(0) + m_left->sizes().value(1)));
  store.WriteNumber(settingname::kLeftWidth, static_cast<uint32_t>(columns.value(0)));
  store.WriteNumber(settingname::kLeftHeight, static_cast<uint32_t>(m_left->sizes().value(0)));
  store.WriteNumber(settingname::kRightHeight, static_cast<uint32_t>(m_right->sizes().value(0)));
  auto keep = [&store](const char* name, const QByteArray& state) {
    store.WriteText(name, QString::fromLatin1(state.toBase64()));
  };
  keep(settingname::kWindowGeometry, saveGeometry());
  keep(settingname::kWindowState, saveState());
  keep(settingname::kBrowseColumns, m_browse->List()->horizontalHeader()->saveState());
  keep(settingname::kDownloadColumns, m_download->List()->horizontalHeader()->saveState());
  store.Flush();
}

void CMainFrame::ApplyRatios() {
  const bool ready = m_layoutready;
  m_layoutready = false;
  SplitByRatio(m_columns, m_columnratio);
  SplitByRatio(m_left, m_leftratio);
  SplitByRatio(m_right, m_rightratio);
  m_layoutready = ready;
}

void CMainFrame::TakeRatios() {
  if (!m_layoutready) return;
  m_columnratio = ShareOfFirst(m_columns);
  m_leftratio = ShareOfFirst(m_left);
  m_rightratio = ShareOfFirst(m_right);
}

void CMainFrame::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  // The splitters have their new sizes by now; put the proportions back.
  ApplyRatios();
}
