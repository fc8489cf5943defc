#pragma once
#include <QTreeView>
#include <vector>

class SettingRows;
class SettingRowsFilter;

// A two-column report list ("Setting", "Value") with grid lines, whole-row
// selection, read-only, over a SettingRows model seen through the Find box's
// filter. Rows are numbered as the model has them, shown or not.
class ReportList : public QTreeView {
  Q_OBJECT
 public:
  ReportList(const QString& objectName, const QString& first, const QString& second,
             QWidget* parent = nullptr);

  // Replaces all rows: row k shows names[order[k]] and values[order[k]], the
  // order the caller worked out once for the whole file (settingOrder).
  void setRows(const QStringList& names, const QStringList& values, const std::vector<int>& order);
  void clearRows();
  int selectedRow() const;  // -1 when none
  QString name(int row) const;
  QString value(int row) const;
  void setValue(int row, const QString& value);
  int rowCount() const;
  int rowOf(const QString& name) const;
  // Selects the row and makes it current; a row the filter hides stays unselected.
  void selectRow(int row);
  // Where the row is drawn, in the viewport; empty when the filter hides it.
  QRect rowRect(int row) const;

  // Shows only the rows whose name holds text (letter case aside); empty: every row.
  // Rows set later follow the same filter.
  void setFilter(const QString& text);
  QString filter() const;
  bool shows(int row) const;
  int shownCount() const;
  // What the list says when the filter hides every row; empty otherwise.
  QString emptyHint() const;

  const SettingRows* rows() const { return m_rows; }

 signals:
  void rowSelectionChanged();
  void rowDoubleClicked();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  SettingRows* m_rows;
  SettingRowsFilter* m_filter;
};
