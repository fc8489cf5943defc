#include "profile/DiskStamp.h"

#include <QCryptographicHash>
#include <QStringList>
#include <algorithm>

#include "profile/AtomicFile.h"

QByteArray DiskStamp::digest(const QByteArray& content) {
  return QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex();
}

DiskStamp DiskStamp::look(const QString& path) {
  DiskStamp stamp;
  const std::optional<AtomicFile::SizeAndTime> now = AtomicFile::sizeAndTime(path);
  if (!now) return stamp;
  stamp.exists = true;
  stamp.size = now->size;
  stamp.modifiedNs = now->modifiedNs;
  return stamp;
}

DiskStamp& DiskStamp::withContent(const std::optional<QByteArray>& content) {
  if (!content) {
    *this = DiskStamp{};
    return *this;
  }
  exists = true;
  sha256 = digest(*content);
  return *this;
}

DiskStamp DiskStamp::of(const QString& path) {
  DiskStamp stamp = look(path);
  return stamp.withContent(AtomicFile::read(path));
}

bool DiskStamp::looksDifferent(const DiskStamp& now) const {
  return exists != now.exists || size != now.size || modifiedNs != now.modifiedNs;
}

bool DiskStamp::contentDiffers(const DiskStamp& now) const {
  if (exists != now.exists) return true;
  if (!exists) return false;
  if (sha256.isEmpty() || now.sha256.isEmpty()) return looksDifferent(now);
  return sha256 != now.sha256;
}

QString DiskStamp::toText() const {
  if (!exists) return QStringLiteral("missing");
  return QStringLiteral("%1 %2 %3").arg(size).arg(modifiedNs).arg(QString::fromLatin1(sha256));
}

std::optional<DiskStamp> DiskStamp::fromText(const QString& text) {
  if (text == QStringLiteral("missing")) return DiskStamp{};
  const QStringList parts = text.split(QLatin1Char(' '));
  if (parts.size() != 3) return std::nullopt;
  bool sizeOk = false;
  bool timeOk = false;
  DiskStamp stamp;
  stamp.exists = true;
  stamp.size = parts[0].toLongLong(&sizeOk);
  stamp.modifiedNs = parts[1].toLongLong(&timeOk);
  stamp.sha256 = parts[2].toLatin1();
  const bool hex = stamp.sha256.size() == 64 &&
                   std::all_of(stamp.sha256.begin(), stamp.sha256.end(),
                               [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
  if (!sizeOk || !timeOk || !hex) return std::nullopt;
  return stamp;
}
