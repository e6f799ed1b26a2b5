// The tree-grid list: a report list showing a CTreeGridModel, one row per
// visible tree item, with extended selection (Shift and Ctrl clicks),
// expand boxes, and the keys Enter (as a double click), Left / keypad
// minus (collapse), Right / keypad plus (expand), keypad star (expand the
// whole subtree), Home / End (first / last row) and, in lists with check
// boxes, Space (toggle the check mark). The first column takes the width
// the others leave.
#pragma once

#include <QHash>
#include <QIcon>
#include <QTableView>

#include "treegridimages.h"

class CTreeGridModel;
class CTreeItem;

class CTreeGridCtrl : public QTableView {
  Q_OBJECT

 public:
  // A list with a model of its own.
  explicit CTreeGridCtrl(QWidget* parent = nullptr);
  // A list showing a model its caller owns and keeps alive longer.
  explicit CTreeGridCtrl(CTreeGridModel& model, QWidget* parent = nullptr);

  CTreeGridModel& Model() const { return *m_model; }
  // Sets the headers and makes each column `width` pixels wide.
  void SetColumns(const QStringList& headers, int width, int statuscolumn = -1, int timeleftcolumn = -1);
  void SetCheckBoxes(bool on);
  // A column of percentages drawn as bars behind their numbers.
  void SetBarColumn(int column) { m_barcolumn = column; }
  int BarColumn() const { return m_barcolumn; }
  bool HasCheckBoxes() const { return m_checkboxes; }

  // The image index a row shows; lists may choose their own.
  virtual int GetIcon(const CTreeItem& item) const;
  QPixmap Image(int index) const { return m_images.Get(index); }
  // The desktop's icon for a file name, by its name only.
  QIcon FileIcon(const QString& name) const;

  // The first column never gets narrower than this.
  void SetFirstColumnMinimum(int width);
  // The line shown in the middle of an empty list.
  void SetEmptyHint(const QString& hint);
  QString EmptyHint() const { return m_emptyhint; }
  // Selects the row under a right click, unless it is selected already,
  // without scrolling the list sideways.
  void SelectForMenu(const QModelIndex& index);

  // Expands a collapsed item (showing its last child) or collapses it.
  void ToggleExpand(CTreeItem* item);
  // What a double click does: toggles the selected row's item.
  void ToggleSelected();

 protected:
  // The item whose expand box is at `point`, if any.
  CTreeItem* ItemWithBoxAt(const QPoint& point) const;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void Setup();
  CTreeItem* ItemWithCheckBoxAt(const QPoint& point) const;
  CTreeItem* SelectedItem() const;
  void ShowRow(int row);
  void GoToRow(int row, bool extend);
  void FitFirstColumn();

  CTreeGridModel* m_model;
  CTreeGridImages m_images;
  bool m_checkboxes = false;
  int m_barcolumn = -1;
  int m_firstminimum = 100;
  bool m_fitting = false;
  QString m_emptyhint;
  mutable QHash<QString, QIcon> m_fileicons;  // by MIME type
};
