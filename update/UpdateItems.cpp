#include "update/UpdateItems.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <algorithm>

#include "profile/AtomicFile.h"

namespace {
bool blank(QChar c) { return c.unicode() <= 0x20; }
}  // namespace

namespace UpdateItems {

QStringList split(const QString& text, QChar separator) {
  QStringList items;
  const qsizetype n = text.size();
  qsizetype i = 0;
  while (i < n && blank(text[i])) ++i;
  while (i < n) {
    QString item;
    if (text[i] == QLatin1Char('"')) {
      ++i;
      while (i < n) {
        if (text[i] == QLatin1Char('"')) {
          if (i + 1 < n && text[i + 1] == QLatin1Char('"')) {
            item += QLatin1Char('"');
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        item += text[i++];
      }
    } else {
      const qsizetype start = i;
      while (i < n && !blank(text[i]) && text[i] != separator) ++i;
      item = text.mid(start, i - start);
    }
    items.append(item);
    while (i < n && blank(text[i])) ++i;
    if (i < n && text[i] == separator) {
      if (i + 1 == n) items.append(QString());  // a separator at the very end
      do ++i;
      while (i < n && blank(text[i]));
    }
  }
  return items;
}

QStringList parts(const QString& item) { return split(item, QLatin1Char(':')); }

Kind kindOf(const QString& item, const QString& executableName) {
  auto is = [&item](const QString& name) { return item.compare(name, Qt::CaseInsensitive) == 0; };
  if (is(QStringLiteral("Tessary.exe")) || (!executableName.isEmpty() && is(executableName)))
    return Kind::Executable;
  if (is(QStringLiteral("config.ini"))) return Kind::Preferences;
  if (is(QStringLiteral("help.hlp"))) return Kind::Help;
  if (is(QStringLiteral("cfgcheck.cdu"))) return Kind::Rules;
  return Kind::Other;
}

std::optional<QString> relativeFolder(const QString& folder) {
  QString path = folder;
  path.replace(QLatin1Char('\\'), QLatin1Char('/'));
  if (path.isEmpty() || path.startsWith(QLatin1Char('/'))) return std::nullopt;
  QStringList kept;
  for (const QString& part : path.split(QLatin1Char('/'))) {
    if (part.isEmpty() || part == QLatin1String(".")) continue;
    if (part == QLatin1String("..")) return std::nullopt;
    for (QChar c : part)
      if (c.unicode() < 0x20 || c.unicode() == 0x7f) return std::nullopt;
    kept.append(part);
  }
  if (kept.isEmpty()) return std::nullopt;  // the application folder itself
  return kept.join(QLatin1Char('/'));
}

QString outsideProblem(const QString& appFolder, const QString& relative) {
  const QString root = QFileInfo(appFolder).canonicalFilePath();
  if (root.isEmpty()) return QStringLiteral("the program's folder cannot be found");
  const QString target = appFolder + QLatin1Char('/') + relative;
  const QString parent = QFileInfo(QFileInfo(target).absolutePath()).canonicalFilePath();
  if (parent.isEmpty()) return {};  // no parent: making or removing it fails, touching nothing
  if (parent != root && !parent.startsWith(root + QLatin1Char('/')))
    return QStringLiteral("it leads outside the program's folder");
  if (AtomicFile::kindAt(target) == AtomicFile::Kind::Link) return QStringLiteral("it is a symbolic link");
  return {};
}

QString backupNameOf(const QString& executablePath) {
  const QFileInfo info(executablePath);
  const QString name = info.fileName();
  const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
  const QString stem = dot > 0 ? name.left(dot) : name;
  return info.path() + QLatin1Char('/') + stem + QStringLiteral(".BAK");
}

std::optional<QByteArray> sha256Of(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  QCryptographicHash hash(QCryptographicHash::Sha256);
  if (!hash.addData(&file)) return std::nullopt;
  return hash.result().toHex();
}

bool digestMatches(const QByteArray& expected, const QByteArray& actualHex) {
  const QByteArray e = expected.trimmed().toLower();
  return e.size() == 64 && e == actualHex.toLower();
}

QString percentText(qint64 position, qint64 n) {
  if (n <= 0) return QStringLiteral("0%");
  position = std::clamp<qint64>(position, 0, n * 100);
  qint64 q = position / n;
  const qint64 r2 = 2 * (position % n);
  if (r2 > n || (r2 == n && q % 2 != 0)) ++q;
  return QString::number(q) + QLatin1Char('%');
}

QString targetOf(const QString& item, const QString& executableName) {
  switch (kindOf(item, executableName)) {
    case Kind::Executable:
      return QStringLiteral("the program");
    case Kind::Preferences:
      return QStringLiteral("base/config.ini");
    case Kind::Help:
      return QStringLiteral("base/help.hlp");
    case Kind::Rules:
      return QStringLiteral("base/cfgcheck.cdu");
    case Kind::Other:
      break;
  }
  return QStringLiteral("base/updates/") + item.toLower();
}

QString repeatedTarget(const QStringList& items, const QString& executableName, QString* earlier) {
  QHash<QString, QString> seen;
  for (const QString& item : items) {
    if (item.isEmpty() || !isFileItem(item)) continue;
    const QString target = targetOf(item, executableName);
    if (const auto it = seen.constFind(target); it != seen.constEnd()) {
      *earlier = *it;
      return item;
    }
    seen.insert(target, item);
  }
  return {};
}

}  // namespace UpdateItems
