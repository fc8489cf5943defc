#pragma once
#include <QTreeWidget>

// A two-column report list ("Setting", "Value") with grid lines, whole-row
// selection, read-only. setRows() takes the rows in the order the caller
// worked out once for the whole file (settingOrder), and adds them in one go.
class ReportList : public QTreeWidget {
  Q_OBJECT
 public:
  ReportList(const QString& objectName, const QString& first, const QString& second,
             QWidget* parent = nullptr);

  // Replaces all rows: names[i] shows values[i]; sorted by name.
  void setRows(const QStringList& names, const QStringList& values, const std::vector<int>& order);
  void clearRows();
  int selectedRow() const;  // -1 when none
  QString name(int row) const;
  QString value(int row) const;
  void setValue(int row, const QString& value);
  int rowCount() const { return topLevelItemCount(); }
  int rowOf(const QString& name) const;
  void selectRow(int row);

  // Shows only the rows whose name holds text (letter case aside); empty: every row.
  // Rows set later follow the same filter.
  void setFilter(const QString& text);
  QString filter() const { return m_filter; }
  int shownCount() const;
  // What the list says when the filter hides every row; empty otherwise.
  QString emptyHint() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString m_filter;
};
