#include "documents/ConfigModel.h"

#include <QCollator>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <algorithm>
#include <numeric>

#include "profile/AtomicFile.h"
#include "profile/ProfileFile.h"
#include "profile/TextCodec.h"

namespace Ships {
const std::array<QString, kCount>& names() {
  static const std::array<QString, kCount> ships = {QStringLiteral("Warbird"),   QStringLiteral("Javelin"),
                                                    QStringLiteral("Spider"),    QStringLiteral("Leviathan"),
                                                    QStringLiteral("Terrier"),   QStringLiteral("Weasel"),
                                                    QStringLiteral("Lancaster"), QStringLiteral("Shark")};
  return ships;
}
int indexOf(const QString& name) {
  const auto& n = names();
  const auto it = std::find(n.begin(), n.end(), name);
  return it == n.end() ? -1 : static_cast<int>(it - n.begin());
}
}  // namespace Ships

ConfigData loadConfigData(const QString& path) { return configDataOf(ProfileFile(path)); }

ConfigData configDataOf(const ProfileFile& file) {
  ConfigData data;
  data.legacyEncoding = file.isLegacyEncoded();
  for (const QByteArray& name : file.duplicateSectionNames())
    data.repeatedSections.append(TextCodec::decode(name));
  // Only the names the "Other" page lists are decoded (a file may have a million).
  file.forEachSectionName([&](QByteArrayView name) {
    if (name.size() <= 9 && Ships::indexOf(QString::fromLatin1(name)) >= 0) return;
    data.otherSections.append(TextCodec::decode(name));
  });
  // The rows are the keys of "Warbird"; every ship shows its own value for each.
  const std::vector<ProfileFile::Entry> keys = file.entries("Warbird");
  data.keys.reserve(static_cast<qsizetype>(keys.size()));
  for (const ProfileFile::Entry& k : keys) data.keys.append(TextCodec::decode(k.key));
  for (int ship = 0; ship < Ships::kCount; ++ship) {
    const QByteArray section = Ships::names()[static_cast<size_t>(ship)].toLatin1();
    QStringList& values = data.values[static_cast<size_t>(ship)];
    values.reserve(static_cast<qsizetype>(keys.size()));
    // Ship sections usually list their keys in the same order: where the key at
    // the same place has the same name, its value is the one a lookup would find.
    const std::vector<ProfileFile::Entry> own = ship == 0 ? keys : file.entries(section);
    for (std::size_t i = 0; i < keys.size(); ++i) {
      if (i < own.size() && ProfileFile::sameName(own[i].key, keys[i].key))
        values.append(TextCodec::decode(own[i].value));
      else
        values.append(TextCodec::decode(file.value(section, keys[i].key.toByteArray())));
    }
  }
  return data;
}

namespace {
// The C locale compares code points; setting names want a dictionary order.
QLocale collationLocale() {
  const QLocale system = QLocale::system();
  return system.language() == QLocale::C ? QLocale(QLocale::English, QLocale::UnitedStates) : system;
}

const QCollator& collator() {
  static const QCollator c = [] {
    QCollator col(collationLocale());
    col.setCaseSensitivity(Qt::CaseInsensitive);
    return col;
  }();
  return c;
}

// English orders names of ASCII letters and digits as their lower-case letters
// do (digits first), so such names need no sort keys: a file of a million
// sections would hold a hundred megabytes of them. Other languages may put
// letters elsewhere (Danish "aa" after "z"); they always take the collator.
bool plainEnglishNames(const QStringList& names) {
  static const bool english = collationLocale().language() == QLocale::English;
  if (!english) return false;
  for (const QString& n : names)
    for (const QChar c : n) {
      const char16_t u = c.unicode();
      if (!((u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9'))) return false;
    }
  return true;
}
}  // namespace

bool settingLess(const QString& a, const QString& b) {
  const int r = collator().compare(a, b);
  if (r != 0) return r < 0;
  return a < b;
}

std::vector<int> settingOrder(const QStringList& names) {
  std::vector<int> order(static_cast<size_t>(names.size()));
  std::iota(order.begin(), order.end(), 0);
  if (plainEnglishNames(names)) {
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
      const int r = names[a].compare(names[b], Qt::CaseInsensitive);
      if (r != 0) return r < 0;
      return names[a] < names[b];
    });
    return order;
  }
#ifdef Q_OS_WIN
  // Windows' sort keys (LCMapStringEx) were seen to disagree with its own
  // comparison (CompareStringEx) under Wine: the comparison decides there.
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return settingLess(names[a], names[b]); });
  return order;
#endif
  std::vector<QCollatorSortKey> keys;
  keys.reserve(static_cast<size_t>(names.size()));
  for (const QString& n : names) keys.push_back(collator().sortKey(n));
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    const int r = keys[static_cast<size_t>(a)].compare(keys[static_cast<size_t>(b)]);
    if (r != 0) return r < 0;
    return names[a] < names[b];
  });
  return order;
}

QDateTime fileModifiedTime(const QString& path) {
  const std::optional<qint64> seconds = AtomicFile::modifiedSeconds(path);
  if (!seconds) return {};
  QDateTime t = QDateTime::fromSecsSinceEpoch(*seconds).toLocalTime();
  if (!t.isValid()) return {};
  const QTime time = t.time();
  t.setTime(QTime(time.hour(), time.minute(), time.second() - time.second() % 2));
  return t;
}

bool setFileModifiedTime(const QString& path, const QDateTime& localTime) {
  return localTime.isValid() && AtomicFile::setModifiedMs(path, localTime.toMSecsSinceEpoch());
}

QString formatDetailsTime(const QDateTime& time) {
  if (!time.isValid()) return QStringLiteral("N/A");
  const QLocale locale = QLocale::system();
  const QChar ds = TextCodec::separatorOf(locale.dateFormat(QLocale::ShortFormat), QLatin1Char('/'));
  const QChar ts = TextCodec::separatorOf(locale.timeFormat(QLocale::ShortFormat), QLatin1Char(':'));
  const QDate d = time.date();
  const QTime t = time.time();
  auto two = [](int v) { return QStringLiteral("%1").arg(v % 100, 2, 10, QLatin1Char('0')); };
  return QString::number(d.day()) + ds + two(d.month()) + ds + two(d.year()) + QLatin1Char(' ') +
         two(t.hour()) + ts + two(t.minute()) + ts + two(t.second());
}
