#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "documents/ConfigModel.h"
#include "documents/SettingRows.h"

namespace {

QStringList shownNames(const SettingRowsFilter& filter) {
  QStringList out;
  for (int r = 0; r < filter.rowCount(); ++r) out.append(filter.index(r, 0).data().toString());
  return out;
}

}  // namespace

TEST(SettingRows, RowsFollowTheGivenOrderAndTheFindBoxKeepsTheirNumbers) {
  SettingRows rows(QStringLiteral("Setting"), QStringLiteral("Value"));
  SettingRowsFilter filter;
  filter.setSourceModel(&rows);
  const QStringList names = {QStringLiteral("InitialSpeed"), QStringLiteral("BulletSpeed"),
                             QStringLiteral("MaxBullets"), QStringLiteral("Gravity")};
  // A value list shorter than the names leaves the last rows empty.
  rows.setRows(names, {QStringLiteral("2000"), QStringLiteral("30"), QStringLiteral("4")}, {1, 3, 0, 2});
  ASSERT_EQ(rows.rowCount(), 4);
  EXPECT_EQ(rows.name(0), QStringLiteral("BulletSpeed"));
  EXPECT_EQ(rows.value(0), QStringLiteral("30"));
  EXPECT_EQ(rows.value(1), QString());
  EXPECT_EQ(rows.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Value"));
  EXPECT_EQ(rows.rowOf(QStringLiteral("MaxBullets")), 3);
  EXPECT_EQ(rows.rowOf(QStringLiteral("maxbullets")), -1);  // a row is found by its exact name

  filter.setText(QStringLiteral("bULLET"));
  EXPECT_EQ(shownNames(filter), (QStringList{QStringLiteral("BulletSpeed"), QStringLiteral("MaxBullets")}));
  EXPECT_TRUE(filter.shows(0));
  EXPECT_FALSE(filter.shows(1));
  EXPECT_TRUE(filter.shows(3));
  EXPECT_EQ(filter.emptyHint(), QString());

  // A value edited under the filter reaches the shown row that holds it, and the rows stay.
  std::vector<int> changed;
  QObject::connect(&filter, &QAbstractItemModel::dataChanged,
                   [&](const QModelIndex& from) { changed.push_back(from.row()); });
  rows.setValue(3, QStringLiteral("8"));
  EXPECT_EQ(changed, std::vector<int>{1});
  EXPECT_EQ(filter.index(1, SettingRows::ValueColumn).data().toString(), QStringLiteral("8"));
  rows.setValue(3, QStringLiteral("8"));  // the same value again: nothing to repaint
  EXPECT_EQ(changed.size(), 1u);

  // Rows set later follow the text typed before.
  rows.setRows({QStringLiteral("TeamMaxSize"), QStringLiteral("BulletDamageLevel")}, {}, {0, 1});
  EXPECT_EQ(shownNames(filter), QStringList{QStringLiteral("BulletDamageLevel")});

  // Nothing matches: the list says why it is empty; an empty text shows every row again.
  filter.setText(QStringLiteral("zzzz"));
  EXPECT_EQ(filter.rowCount(), 0);
  EXPECT_TRUE(filter.emptyHint().contains(QStringLiteral("\"zzzz\"")));
  filter.setText(QString());
  EXPECT_EQ(filter.rowCount(), 2);
  EXPECT_EQ(filter.emptyHint(), QString());

  // A list without rows is not "filtered empty": it says nothing.
  filter.setText(QStringLiteral("zzzz"));
  rows.clear();
  EXPECT_EQ(filter.emptyHint(), QString());
}

// Names of plain letters and digits are ordered without the collator's sort
// keys; the order must still be the collator's, ties by exact name.
TEST(SettingOrder, PlainNamesSortAsTheCollatorSortsThem) {
  const QString alphabet = QStringLiteral("aAbBmMyYzZ019_");
  std::uint32_t seed = 12345;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
  for (const bool plain : {true, false}) {
    QStringList names;
    for (int i = 0; i < 400; ++i) {
      QString n;
      const int length = 1 + static_cast<int>(next() >> 16) % 5;
      for (int k = 0; k < length; ++k)
        n += alphabet[static_cast<int>(next() >> 16) % (alphabet.size() - (plain ? 1 : 0))];
      names.append(n);
    }
    std::vector<int> expected(static_cast<size_t>(names.size()));
    std::iota(expected.begin(), expected.end(), 0);
    std::stable_sort(expected.begin(), expected.end(),
                     [&](int a, int b) { return settingLess(names[a], names[b]); });
    EXPECT_EQ(settingOrder(names), expected) << (plain ? "letters and digits" : "with an underscore");
  }
}
