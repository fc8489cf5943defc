#pragma once
#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// The version block of an executable file: string values under a translation
// (language and code page), as the program's own block is embedded at build
// time (section ".tessary_version" of the ELF file; the VERSIONINFO resource on
// Windows) and read back from the file on disk, so a file reports its own
// version, not the running code's. Held as INI text:
// "[VarFileInfo] Translation=0409 04b0" and "[StringFileInfo\040904b0] Name=value".
class TVersionInfo {
 public:
  static const char* const kNames[12];  // "Comments" .. "SpecialBuild", by index

  // An empty name means the running executable. Reads the block at once.
  void setFileName(const QString& fileName);
  QString fileName() const { return m_fileName; }
  bool hasBlock() const { return m_hasBlock; }
  QList<QPair<quint16, quint16>> translations() const { return m_translations; }
  int currentTranslation() const { return m_translations.isEmpty() ? -1 : 0; }
  // The value of a string by index (0..11), empty when there is none.
  QString value(int index) const;
  QString value(const QString& name) const;
  QString fileVersion() const { return value(3); }

  // The block of the executable file at path as text (the INI layout above),
  // empty when it has none; one file per platform reads it.
  static QByteArray blockOf(const QString& path);
#ifndef _WIN32
  // The block's bytes inside an ELF file, empty when it has none.
  static QByteArray findBlock(const QByteArray& elfFile);
#endif

 private:
  QString m_fileName;
  bool m_hasBlock = false;
  QByteArray m_block;
  QList<QPair<quint16, quint16>> m_translations;
};
