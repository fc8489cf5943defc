#include "documents/SettingRows.h"

SettingRows::SettingRows(const QString& nameHeader, const QString& valueHeader, QObject* parent)
    : QAbstractTableModel(parent), m_headers{nameHeader, valueHeader} {}

void SettingRows::setRows(const QStringList& names, const QStringList& values,
                          const std::vector<int>& order) {
  beginResetModel();
  m_names.clear();
  m_values.clear();
  m_names.reserve(static_cast<qsizetype>(order.size()));
  m_values.reserve(static_cast<qsizetype>(order.size()));
  for (int i : order) {
    m_names.append(names[i]);
    m_values.append(i < values.size() ? values[i] : QString());
  }
  endResetModel();
}

void SettingRows::clear() {
  if (m_names.isEmpty()) return;
  beginResetModel();
  m_names.clear();
  m_values.clear();
  endResetModel();
}

QString SettingRows::name(int row) const {
  return row >= 0 && row < m_names.size() ? m_names[row] : QString();
}

QString SettingRows::value(int row) const {
  return row >= 0 && row < m_values.size() ? m_values[row] : QString();
}

void SettingRows::setValue(int row, const QString& value) {
  if (row < 0 || row >= m_values.size() || m_values[row] == value) return;
  m_values[row] = value;
  const QModelIndex at = index(row, ValueColumn);
  emit dataChanged(at, at, {Qt::DisplayRole});
}

int SettingRows::rowOf(const QString& name) const { return static_cast<int>(m_names.indexOf(name)); }

int SettingRows::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_names.size());
}

int SettingRows::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant SettingRows::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= m_names.size() || role != Qt::DisplayRole) return {};
  return index.column() == NameColumn ? m_names[index.row()] : m_values[index.row()];
}

QVariant SettingRows::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= ColumnCount)
    return {};
  return m_headers[section];
}

SettingRowsFilter::SettingRowsFilter(QObject* parent) : QSortFilterProxyModel(parent) {
  // The filter looks at names only, and an edit changes values: nothing to sort
  // or filter again when a value changes, which keeps a whole-ship swap quick.
  setDynamicSortFilter(false);
}

void SettingRowsFilter::setText(const QString& text) {
  if (text == m_text) return;
  m_text = text;
  invalidateFilter();
}

bool SettingRowsFilter::shows(int sourceRow) const {
  return sourceModel() && mapFromSource(sourceModel()->index(sourceRow, 0)).isValid();
}

QString SettingRowsFilter::emptyHint() const {
  if (m_text.isEmpty() || !sourceModel() || sourceModel()->rowCount() == 0 || rowCount() > 0) return {};
  return QStringLiteral("No setting here has \"%1\" in its name.\nEscape clears the Find box.").arg(m_text);
}

bool SettingRowsFilter::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const {
  if (m_text.isEmpty()) return true;
  const QModelIndex name = sourceModel()->index(sourceRow, SettingRows::NameColumn, sourceParent);
  return name.data().toString().contains(m_text, Qt::CaseInsensitive);
}
