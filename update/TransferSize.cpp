#include "update/TransferSize.h"

#include <cmath>

QString FormatTransferSize(qint32 n, const QLocale& locale) {
  double number = n;
  QString unit = QStringLiteral("bytes");
  if (n > 1073741824) {
    number = n / 1073741824.0;
    unit = QStringLiteral("GB");
  } else if (n > 1048576) {
    number = n / 1048576.0;
    unit = QStringLiteral("MB");
  } else if (n > 1024) {
    number = n / 1024.0;
    unit = QStringLiteral("KB");
  }
  // "#.##": rounded to two decimals, trailing zeros and a lone 0 before the separator left out.
  const double rounded = std::round(number * 100.0) / 100.0;
  const double whole = std::trunc(rounded);
  const int hundredths = static_cast<int>(std::llround(std::fabs(rounded - whole) * 100.0));
  QString text = whole != 0 ? QString::number(static_cast<long long>(whole))
                            : (rounded < 0 ? QStringLiteral("-") : QString());
  if (hundredths != 0) {
    QString decimals = QStringLiteral("%1").arg(hundredths, 2, 10, QLatin1Char('0'));
    while (decimals.endsWith(QLatin1Char('0'))) decimals.chop(1);
    text += locale.decimalPoint() + decimals;
  }
  return text + QLatin1Char(' ') + unit;
}
