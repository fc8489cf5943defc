#pragma once
#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Values in profile files are bytes. The windows show them as UTF-8 when the
// bytes are valid UTF-8, else as Windows-1252 (the code page these files were
// written in for decades), and encode edited text back the same way.
namespace TextCodec {
bool isValidUtf8(const QByteArray& bytes);
QString decode(QByteArrayView bytes);
// legacy: write Windows-1252 where every character fits and the bytes read back
// as the same text; otherwise UTF-8. decode(encode(t, x)) == t always.
QByteArray encode(const QString& text, bool legacy = false);
bool isAscii(const QByteArray& bytes);
// Encodes an edited value the way its previous bytes were written: Windows-1252
// when they were not UTF-8, UTF-8 when they were; a plain ASCII value follows the file.
QByteArray encodeLike(const QString& text, const QByteArray& previous, bool fileIsLegacy);
// The separator a locale's date or time format uses: its first character that is
// no letter, blank or quote ("dd/MM/yy" gives '/'); fallback when there is none.
QChar separatorOf(const QString& format, QChar fallback);
}  // namespace TextCodec
