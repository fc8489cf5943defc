#pragma once
#include <QByteArray>
#include <QString>

// Values in profile files are bytes. The windows show them as UTF-8 when the
// bytes are valid UTF-8, else as Windows-1252 (the code page these files were
// written in for decades), and encode edited text back the same way.
namespace TextCodec {
bool isValidUtf8(const QByteArray& bytes);
QString decode(const QByteArray& bytes);
// legacy: the file is not UTF-8, so write Windows-1252 where every character fits.
QByteArray encode(const QString& text, bool legacy = false);
}  // namespace TextCodec
