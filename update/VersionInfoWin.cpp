// The version block of a Windows executable: its VERSIONINFO resource, read
// with the system's own calls and written out as the block's INI text.
#include <windows.h>

#include <QDir>
#include <string>

#include "update/VersionInfo.h"

QByteArray TVersionInfo::blockOf(const QString& path) {
  const std::wstring file = QDir::toNativeSeparators(path).toStdWString();
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
  if (size == 0) return {};
  std::string data(size, '\0');
  if (!GetFileVersionInfoW(file.c_str(), 0, size, data.data())) return {};
  struct Translation {
    WORD language;
    WORD codePage;
  };
  Translation* translations = nullptr;
  UINT bytes = 0;
  if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translations),
                      &bytes) ||
      bytes < sizeof(Translation))
    return {};
  QString block = QStringLiteral("[VarFileInfo]\nTranslation=");
  const UINT count = bytes / sizeof(Translation);
  for (UINT i = 0; i < count; ++i)
    block += QStringLiteral("%1%2 %3")
                 .arg(i ? QStringLiteral(", ") : QString())
                 .arg(translations[i].language, 4, 16, QLatin1Char('0'))
                 .arg(translations[i].codePage, 4, 16, QLatin1Char('0'));
  block += QLatin1Char('\n');
  for (UINT i = 0; i < count; ++i) {
    const QString table = QStringLiteral("%1%2")
                              .arg(translations[i].language, 4, 16, QLatin1Char('0'))
                              .arg(translations[i].codePage, 4, 16, QLatin1Char('0'));
    block += QStringLiteral("[StringFileInfo\\%1]\n").arg(table);
    for (const char* name : kNames) {
      const std::wstring key =
          (QStringLiteral("\\StringFileInfo\\%1\\").arg(table) + QLatin1String(name)).toStdWString();
      wchar_t* value = nullptr;
      UINT length = 0;
      if (!VerQueryValueW(data.data(), key.c_str(), reinterpret_cast<void**>(&value), &length)) continue;
      // A value is one line of the block: line breaks in it would start new keys.
      QString text = QString::fromWCharArray(value, static_cast<qsizetype>(length)).section(QChar(0), 0, 0);
      text.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
      block += QLatin1String(name) + QLatin1Char('=') + text + QLatin1Char('\n');
    }
  }
  return block.toUtf8();
}
