#pragma once
#include <QAbstractItemModel>
#include <QSortFilterProxyModel>
#include <optional>
#include <vector>

#include "documents/ConfigDiff.h"

// The differences between a document and another arena as a tree for a view:
// one row per section, "Warbird (3)", and under it one row per setting with its
// name, the document's value and the other file's value. No window needed.
class DifferenceModel : public QAbstractItemModel {
  Q_OBJECT
 public:
  enum Role {
    SectionRole = Qt::UserRole + 1,  // the section's name (also on its settings)
    KeyRole,                         // the setting's name; empty on a section and on "[section]"
    OtherValueRole,                  // the other file's value; invalid when it lacks the setting
  };
  enum Column { SettingColumn, DocumentColumn, OtherColumn, ColumnCount };
  explicit DifferenceModel(QObject* parent = nullptr);

  void setDifferences(const QList<ConfigDiff::Difference>& differences);
  int sectionCount() const { return static_cast<int>(m_groups.size()); }
  int differenceCount() const { return m_count; }
  // The setting's row (letter case aside), or an invalid index.
  QModelIndex indexOf(const QString& section, const QString& key) const;

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

 private:
  struct Row {
    QString key;  // empty: the section itself
    QString ours;
    QString theirs;
    std::optional<QString> otherValue;
  };
  struct Group {
    QString section;
    std::vector<Row> rows;
  };
  std::vector<Group> m_groups;
  int m_count = 0;
};

// The compare window's find box: a setting shows when its name or its
// section's name holds the text (letter case aside); a section shows while any
// of its settings does.
class DifferenceFilter : public QSortFilterProxyModel {
  Q_OBJECT
 public:
  using QSortFilterProxyModel::QSortFilterProxyModel;
  void setText(const QString& text);
  QString text() const { return m_text; }

 protected:
  bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

 private:
  QString m_text;
};
