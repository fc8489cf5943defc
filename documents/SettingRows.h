#pragma once
#include <QAbstractTableModel>
#include <QSortFilterProxyModel>
#include <QStringList>
#include <vector>

// The rows of one settings list, a name and its value each, in the order the
// caller worked out once for the whole file. No window needed.
class SettingRows : public QAbstractTableModel {
  Q_OBJECT
 public:
  enum Column { NameColumn, ValueColumn, ColumnCount };
  SettingRows(const QString& nameHeader, const QString& valueHeader, QObject* parent = nullptr);

  // Replaces all rows: row k shows names[order[k]] and values[order[k]].
  void setRows(const QStringList& names, const QStringList& values, const std::vector<int>& order);
  void clear();
  QString name(int row) const;
  QString value(int row) const;
  void setValue(int row, const QString& value);
  // The row named exactly so, or -1.
  int rowOf(const QString& name) const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

 private:
  QString m_headers[ColumnCount];
  QStringList m_names;
  QStringList m_values;
};

// The Find box over a settings list: only the rows whose name holds the text,
// letter case aside; an empty text shows every row. Rows set later follow it.
class SettingRowsFilter : public QSortFilterProxyModel {
  Q_OBJECT
 public:
  explicit SettingRowsFilter(QObject* parent = nullptr);
  void setText(const QString& text);
  QString text() const { return m_text; }
  // Whether the source's row passes the filter.
  bool shows(int sourceRow) const;
  // What the list says when the filter hides every row; empty otherwise.
  QString emptyHint() const;

 protected:
  bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

 private:
  QString m_text;
};
