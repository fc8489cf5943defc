#pragma once
#include <QLocale>
#include <QString>

// "1.5 KB", "1024 KB", "1 MB", "512 bytes": a byte count as the download page
// shows it. At most two decimals without trailing zeros, no digit before the
// separator when the integer part is 0, and no digits at all for 0.
QString FormatTransferSize(qint32 n, const QLocale& locale = QLocale::system());
