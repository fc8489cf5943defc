#include "update/UpdateCheck.h"

#include <QRegularExpression>
#include <QStringList>

#include "profile/TextCodec.h"

namespace {
QChar dateSeparator(const QLocale& l) {
  return TextCodec::separatorOf(l.dateFormat(QLocale::ShortFormat), QLatin1Char('/'));
}
QChar timeSeparator(const QLocale& l) {
  return TextCodec::separatorOf(l.timeFormat(QLocale::ShortFormat), QLatin1Char(':'));
}
QString two(int v) { return QStringLiteral("%1").arg(v % 100, 2, 10, QLatin1Char('0')); }

bool dotted(const QString& v, QList<qulonglong>* out) {
  static const QRegularExpression shape(QStringLiteral("^\\d+(\\.\\d+)*$"));
  if (!shape.match(v.trimmed()).hasMatch()) return false;
  for (const QString& part : v.trimmed().split(QLatin1Char('.'))) out->append(part.toULongLong());
  return true;
}
}  // namespace

namespace UpdateCheck {

QString baseUrl() {
  QString url = qEnvironmentVariable("TESSARY_UPDATE_URL");
  if (url.isEmpty()) url = QStringLiteral("http://updates.tessary.example/velkor/Tessaryv2/update/");
  if (!url.endsWith(QLatin1Char('/'))) url += QLatin1Char('/');
  return url;
}

bool isNewer(const QString& latest, const QString& current) {
  QList<qulonglong> a, b;
  if (!dotted(latest, &a) || !dotted(current, &b)) return false;
  const qsizetype n = std::max(a.size(), b.size());
  for (qsizetype i = 0; i < n; ++i) {
    const qulonglong x = a.value(i, 0), y = b.value(i, 0);
    if (x != y) return x > y;
  }
  return false;
}

bool sameVersion(const QString& a, const QString& b) {
  QList<qulonglong> x, y;
  if (!dotted(a, &x) || !dotted(b, &y)) return false;
  return !isNewer(a, b) && !isNewer(b, a);
}

QString formatChecked(const QDateTime& t, const QLocale& locale) {
  const QChar ds = dateSeparator(locale), ts = timeSeparator(locale);
  const QDate d = t.date();
  const QTime tm = t.time();
  return two(d.month()) + ds + two(d.day()) + ds + two(d.year()) + QLatin1Char(' ') + two(tm.hour()) + ts +
         two(tm.minute()) + ts + two(tm.second());
}

QDateTime parseChecked(const QString& text, const QLocale& locale) {
  const QChar ds = dateSeparator(locale), ts = timeSeparator(locale);
  const QRegularExpression shape(QStringLiteral("^(\\d\\d)%1(\\d\\d)%1(\\d\\d) (\\d\\d)%2(\\d\\d)%2(\\d\\d)$")
                                     .arg(QRegularExpression::escape(ds), QRegularExpression::escape(ts)));
  const QRegularExpressionMatch m = shape.match(text.trimmed());
  if (!m.hasMatch()) return {};
  const QDate date(2000 + m.captured(3).toInt(), m.captured(1).toInt(), m.captured(2).toInt());
  const QTime time(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt());
  if (!date.isValid() || !time.isValid()) return {};
  return QDateTime(date, time);
}

bool cacheIsStale(const QDateTime& checked, const QDateTime& now) {
  return !checked.isValid() || checked.secsTo(now) > 340 || checked > now;
}

QString dayFirst(const QDateTime& t, const QLocale& locale) {
  const QChar ds = dateSeparator(locale);
  return two(t.date().day()) + ds + two(t.date().month()) + ds + two(t.date().year()) + QLatin1Char(' ') +
         locale.toString(t.time(), QLocale::ShortFormat);
}

QString monthFirst(const QDateTime& t, const QLocale& locale) {
  const QChar ds = dateSeparator(locale);
  return two(t.date().month()) + ds + two(t.date().day()) + ds + two(t.date().year()) + QLatin1Char(' ') +
         locale.toString(t.time(), QLocale::ShortFormat);
}

}  // namespace UpdateCheck
