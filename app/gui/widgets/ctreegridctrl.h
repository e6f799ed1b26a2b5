// The tree-grid list: a report list showing a CTreeGridModel, one row per
// visible tree item, with single selection, expand boxes, and the keys
// Enter (as a double click), Left / keypad minus (collapse), Right / keypad
// plus (expand), keypad star (expand the whole subtree) and, in lists with
// check boxes, Space (toggle the check mark).
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
  void SetColumns(const QStringList& headers, int width, int statuscolumn = -1);
  void SetCheckBoxes(bool on);
  bool HasCheckBoxes() const { return m_checkboxes; }

  // The image index a row shows; lists may choose their own.
  virtual int GetIcon(const CTreeItem& item) const;
  QPixmap Image(int index) const { return m_images.Get(index); }
  // The desktop's icon for a file name, by its name only.
  QIcon FileIcon(const QString& name) const;

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

 private:
  void Setup();
  CTreeItem* ItemWithCheckBoxAt(const QPoint& point) const;
  CTreeItem* SelectedItem() const;
  void ShowRow(int row);

  CTreeGridModel* m_model;
  CTreeGridImages m_images;
  bool m_checkboxes = false;
  mutable QHash<QString, QIcon> m_fileicons;  // by MIME type
};
