#include "documents/DifferenceModel.h"

#include <QFont>

#include "profile/ProfileFile.h"
#include "profile/TextCodec.h"

namespace {
// A section row has no parent; a setting row keeps its section's number + 1 as its internal id.
constexpr quintptr kSectionId = 0;

QString shown(const std::optional<QByteArray>& v) {
  return v ? TextCodec::decode(*v) : QString::fromLatin1(ConfigDiff::kMissing);
}
}  // namespace

DifferenceModel::DifferenceModel(QObject* parent) : QAbstractItemModel(parent) {}

void DifferenceModel::setDifferences(const QList<ConfigDiff::Difference>& differences) {
  beginResetModel();
  m_groups.clear();
  m_count = static_cast<int>(differences.size());
  QByteArray current;
  for (const ConfigDiff::Difference& d : differences) {
    if (m_groups.empty() || !ProfileFile::sameName(d.section, current)) {
      m_groups.push_back(Group{TextCodec::decode(d.section), {}});
      current = d.section;
    }
    Row row{d.key.isEmpty() ? QString() : TextCodec::decode(d.key), shown(d.a), shown(d.b), std::nullopt};
    if (d.b && !d.key.isEmpty()) row.otherValue = TextCodec::decode(*d.b);
    m_groups.back().rows.push_back(std::move(row));
  }
  endResetModel();
}

QModelIndex DifferenceModel::indexOf(const QString& section, const QString& key) const {
  for (std::size_t g = 0; g < m_groups.size(); ++g) {
    if (m_groups[g].section.compare(section, Qt::CaseInsensitive) != 0) continue;
    const std::vector<Row>& rows = m_groups[g].rows;
    for (std::size_t r = 0; r < rows.size(); ++r)
      if (!key.isEmpty() && rows[r].key.compare(key, Qt::CaseInsensitive) == 0)
        return createIndex(static_cast<int>(r), 0, static_cast<quintptr>(g + 1));
  }
  return {};
}

QModelIndex DifferenceModel::index(int row, int column, const QModelIndex& parent) const {
  if (row < 0 || column < 0 || column >= ColumnCount) return {};
  if (!parent.isValid()) return row < sectionCount() ? createIndex(row, column, kSectionId) : QModelIndex();
  if (parent.internalId() != kSectionId || parent.column() != 0) return {};
  const Group& g = m_groups[static_cast<std::size_t>(parent.row())];
  if (row >= static_cast<int>(g.rows.size())) return {};
  return createIndex(row, column, static_cast<quintptr>(parent.row() + 1));
}

QModelIndex DifferenceModel::parent(const QModelIndex& child) const {
  if (!child.isValid() || child.internalId() == kSectionId) return {};
  return createIndex(static_cast<int>(child.internalId() - 1), 0, kSectionId);
}

int DifferenceModel::rowCount(const QModelIndex& parent) const {
  if (!parent.isValid()) return sectionCount();
  if (parent.internalId() != kSectionId || parent.column() != 0) return 0;
  return static_cast<int>(m_groups[static_cast<std::size_t>(parent.row())].rows.size());
}

int DifferenceModel::columnCount(const QModelIndex&) const { return ColumnCount; }

QVariant DifferenceModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  if (index.internalId() == kSectionId) {
    const Group& g = m_groups[static_cast<std::size_t>(index.row())];
    if (role == SectionRole) return g.section;
    if (role == KeyRole) return QString();
    if (role == Qt::DisplayRole && index.column() == SettingColumn)
      return QStringLiteral("%1 (%2)").arg(g.section).arg(g.rows.size());
    if (role == Qt::FontRole && index.column() == SettingColumn) {
      QFont bold;
      bold.setBold(true);
      return bold;
    }
    return {};
  }
  const Group& g = m_groups[static_cast<std::size_t>(index.internalId() - 1)];
  const Row& r = g.rows[static_cast<std::size_t>(index.row())];
  switch (role) {
    case SectionRole:
      return g.section;
    case KeyRole:
      return r.key;
    case OtherValueRole:
      return r.otherValue ? QVariant(*r.otherValue) : QVariant();
    case Qt::DisplayRole:
      if (index.column() == SettingColumn) return r.key.isEmpty() ? QStringLiteral("[section]") : r.key;
      return index.column() == DocumentColumn ? r.ours : r.theirs;
    default:
      return {};
  }
}

QVariant DifferenceModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  switch (section) {
    case SettingColumn:
      return QStringLiteral("Setting");
    case DocumentColumn:
      return QStringLiteral("Document");
    case OtherColumn:
      return QStringLiteral("Other File");
    default:
      return {};
  }
}

void DifferenceFilter::setText(const QString& text) {
  if (text == m_text) return;
  m_text = text;
  invalidateFilter();
}

bool DifferenceFilter::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const {
  if (m_text.isEmpty()) return true;
  const QAbstractItemModel* model = sourceModel();
  const QModelIndex row = model->index(sourceRow, 0, sourceParent);
  if (model->data(row, DifferenceModel::SectionRole).toString().contains(m_text, Qt::CaseInsensitive))
    return true;
  if (!sourceParent.isValid()) {
    // A section whose name does not match shows for the settings that do.
    for (int r = 0; r < model->rowCount(row); ++r)
      if (filterAcceptsRow(r, row)) return true;
    return false;
  }
  return model->data(row, Qt::DisplayRole).toString().contains(m_text, Qt::CaseInsensitive);
}
