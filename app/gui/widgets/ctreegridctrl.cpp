#include "ctreegridctrl.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeDatabase>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include "core/ctreegridmodel.h"
#include "core/treegridrules.h"
#include "ctreegriddelegate.h"

namespace {

class WaitCursor {
 public:
  WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace

CTreeGridCtrl::CTreeGridCtrl(QWidget* parent) : QTableView(parent), m_model(new CTreeGridModel(this)) { Setup(); }

CTreeGridCtrl::CTreeGridCtrl(CTreeGridModel& model, QWidget* parent) : QTableView(parent), m_model(&model) { Setup(); }

void CTreeGridCtrl::Setup() {
  setModel(m_model);
  setSelectionModel(m_model->GetSelectionModel());
  setItemDelegate(new CTreeGridDelegate(*this));
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  setWordWrap(false);
  setTabKeyNavigation(false);
  verticalHeader()->hide();
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  const int height = std::max(CTreeGridImages::kSize + 2, fontMetrics().height() + 4);
  verticalHeader()->setMinimumSectionSize(height);
  verticalHeader()->setDefaultSectionSize(height);
  horizontalHeader()->setHighlightSections(false);
  connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this](int column) {
    if (column > 0) FitFirstColumn();
  });
  // The hint goes and comes with the rows.
  for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
    connect(m_model, signal, viewport(), qOverload<>(&QWidget::update));
  // The selection stays visible while another pane has the focus.
  QPalette colours = palette();
  for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
    colours.setColor(QPalette::Inactive, role, colours.color(QPalette::Active, role));
  setPalette(colours);
}

void CTreeGridCtrl::SetColumns(const QStringList& headers, int width, int statuscolumn, int timeleftcolumn) {
  m_model->SetColumns(headers, statuscolumn, timeleftcolumn);
  for (int column = 0; column < headers.size(); ++column) setColumnWidth(column, width);
}

void CTreeGridCtrl::SetFirstColumnMinimum(int width) {
  m_firstminimum = width;
  FitFirstColumn();
}

void CTreeGridCtrl::SetEmptyHint(const QString& hint) {
  m_emptyhint = hint;
  viewport()->update();
}

void CTreeGridCtrl::FitFirstColumn() {
  if (m_fitting || m_model->columnCount() == 0) return;
  int others = 0;
  for (int column = 1; column < m_model->columnCount(); ++column)
    if (!isColumnHidden(column)) others += columnWidth(column);
  m_fitting = true;
  setColumnWidth(0, std::max(m_firstminimum, viewport()->width() - others));
  m_fitting = false;
}

void CTreeGridCtrl::resizeEvent(QResizeEvent* event) {
  QTableView::resizeEvent(event);
  FitFirstColumn();
}

void CTreeGridCtrl::paintEvent(QPaintEvent* event) {
  QTableView::paintEvent(event);
  if (m_model->rowCount() > 0 || m_emptyhint.isEmpty()) return;
  QPainter painter(viewport());
  painter.setPen(palette().color(QPalette::PlaceholderText));
  painter.drawText(viewport()->rect(), Qt::AlignCenter | Qt::TextSingleLine, m_emptyhint);
}

void CTreeGridCtrl::SelectForMenu(const QModelIndex& index) {
  if (!index.isValid() || m_model->GetSelectedRows().contains(index.row())) return;
  const int scrolled = horizontalScrollBar()->value();
  selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  horizontalScrollBar()->setValue(scrolled);
}

void CTreeGridCtrl::GoToRow(int row, bool extend) {
  if (row < 0 || row >= m_model->rowCount()) return;
  const int scrolled = horizontalScrollBar()->value();
  const QModelIndex current = currentIndex();
  const QModelIndex target = m_model->index(row, current.isValid() ? current.column() : 0);
  if (extend && current.isValid()) {
    const QModelIndex first = m_model->index(std::min(row, current.row()), 0);
    const QModelIndex last = m_model->index(std::max(row, current.row()), m_model->columnCount() - 1);
    selectionModel()->select(QItemSelection(first, last), QItemSelectionModel::Select);
    selectionModel()->setCurrentIndex(target, QItemSelectionModel::NoUpdate);
  } else {
    selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  }
  scrollTo(target);
  horizontalScrollBar()->setValue(scrolled);
}

void CTreeGridCtrl::SetCheckBoxes(bool on) {
  m_checkboxes = on;
  viewport()->update();
}

int CTreeGridCtrl::GetIcon(const CTreeItem& item) const { return ChooseImage(item); }

QIcon CTreeGridCtrl::FileIcon(const QString& name) const {
  const QMimeType type = QMimeDatabase().mimeTypeForFile(name, QMimeDatabase::MatchExtension);
  const auto cached = m_fileicons.constFind(type.name());
  if (cached != m_fileicons.constEnd()) return *cached;
  QIcon icon = QIcon::fromTheme(type.iconName());
  if (icon.isNull()) icon = QIcon::fromTheme(type.genericIconName());
  if (icon.isNull()) icon = style()->standardIcon(QStyle::SP_FileIcon);
  m_fileicons.insert(type.name(), icon);
  return icon;
}

CTreeItem* CTreeGridCtrl::ItemWithBoxAt(const QPoint& point) const {
  const QModelIndex index = indexAt(point);
  if (!index.isValid() || index.column() != 0) return nullptr;
  CTreeItem* item = m_model->GetTreeItem(index.row());
  if (!item || !item->ItemHasChildren()) return nullptr;
  const QRect box = CTreeGridDelegate::ExpandBox(visualRect(index), item->GetIndent());
  return box.adjusted(-1, -1, 1, 1).contains(point) ? item : nullptr;
}

CTreeItem* CTreeGridCtrl::ItemWithCheckBoxAt(const QPoint& point) const {
  if (!m_checkboxes) return nullptr;
  const QModelIndex index = indexAt(point);
  if (!index.isValid() || index.column() != 0) return nullptr;
  CTreeItem* item = m_model->GetTreeItem(index.row());
  if (!item) return nullptr;
  return CTreeGridDelegate::CheckBox(visualRect(index), item->GetIndent()).contains(point) ? item : nullptr;
}

CTreeItem* CTreeGridCtrl::SelectedItem() const { return m_model->GetTreeItem(m_model->GetSelectedRow()); }

void CTreeGridCtrl::ShowRow(int row) {
  if (row >= 0) scrollTo(m_model->index(row, 0));
}

void CTreeGridCtrl::ToggleExpand(CTreeItem* item) {
  if (!item || !item->ItemHasChildren()) return;
  if (item->IsCollapsed())
    ShowRow(m_model->Expand(item));
  else
    m_model->Collapse(item);
}

void CTreeGridCtrl::ToggleSelected() { ToggleExpand(SelectedItem()); }

void CTreeGridCtrl::mousePressEvent(QMouseEvent* event) {
  setFocus(Qt::MouseFocusReason);
  if (event->button() == Qt::LeftButton) {
    const QPoint point = event->position().toPoint();
    if (CTreeItem* item = ItemWithCheckBoxAt(point)) m_model->ToggleCheckmark(item);
    if (CTreeItem* item = ItemWithBoxAt(point)) {
      ToggleExpand(item);
      return;
    }
  }
  QTableView::mousePressEvent(event);
}

void CTreeGridCtrl::mouseDoubleClickEvent(QMouseEvent* event) {
  // A quick second click on a box toggles it again, as any click on it does.
  if (event->button() == Qt::LeftButton) {
    if (CTreeItem* item = ItemWithBoxAt(event->position().toPoint())) {
      ToggleExpand(item);
      return;
    }
  }
  QTableView::mouseDoubleClickEvent(event);
  if (event->button() == Qt::LeftButton) ToggleSelected();
}

void CTreeGridCtrl::keyPressEvent(QKeyEvent* event) {
  const bool keypad = event->modifiers() & Qt::KeypadModifier;
  CTreeItem* item = SelectedItem();
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      ToggleSelected();
      break;
    case Qt::Key_Home:
    case Qt::Key_End:
      GoToRow(event->key() == Qt::Key_Home ? 0 : m_model->rowCount() - 1, event->modifiers() & Qt::ShiftModifier);
      break;
    case Qt::Key_Space:
      if (!m_checkboxes) return QTableView::keyPressEvent(event);
      m_model->ToggleCheckmark(item);
      break;
    case Qt::Key_Minus:
      if (!keypad) return QTableView::keyPressEvent(event);
      [[fallthrough]];
    case Qt::Key_Left:
      if (item && item->ItemHasChildren()) {
        WaitCursor wait;
        m_model->Collapse(item);
      }
      break;
    case Qt::Key_Plus:
      if (!keypad) return QTableView::keyPressEvent(event);
      [[fallthrough]];
    case Qt::Key_Right:
      if (item && item->ItemHasChildren()) {
        WaitCursor wait;
        ShowRow(m_model->Expand(item));
      }
      break;
    case Qt::Key_Asterisk:
      if (!keypad) return QTableView::keyPressEvent(event);
      if (item) {
        WaitCursor wait;
        ShowRow(m_model->ExpandAll(item));
      }
      break;
    default:
      QTableView::keyPressEvent(event);
      return;
  }
  event->accept();
}
