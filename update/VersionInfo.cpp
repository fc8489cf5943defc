#include "update/VersionInfo.h"

#include <QCoreApplication>
#include <cstring>

#include "profile/AtomicFile.h"
#include "profile/ProfileFile.h"

const char* const TVersionInfo::kNames[12] = {"Comments",        "CompanyName",      "FileDescription",
                                              "FileVersion",     "InternalName",     "LegalCopyright",
                                              "LegalTrademarks", "OriginalFileName", "PrivateBuild",
                                              "ProductName",     "ProductVersion",   "SpecialBuild"};

void TVersionInfo::setFileName(const QString& fileName) {
  m_fileName = fileName.isEmpty() ? QCoreApplication::applicationFilePath() : fileName;
  m_hasBlock = false;
  m_block.clear();
  m_translations.clear();
  m_block = blockOf(m_fileName);
  m_hasBlock = !m_block.isEmpty();
  if (!m_hasBlock) return;
  const ProfileFile block(m_block, ProfileFile::FromMemory{});
  const QStringList pairs = block.text(QStringLiteral("VarFileInfo"), QStringLiteral("Translation"))
                                .split(QLatin1Char(','), Qt::SkipEmptyParts);
  for (const QString& pair : pairs) {
    const QStringList parts = pair.simplified().split(QLatin1Char(' '));
    bool a = false, b = false;
    if (parts.size() == 2) {
      const quint16 language = static_cast<quint16>(parts[0].toUInt(&a, 16));
      const quint16 codePage = static_cast<quint16>(parts[1].toUInt(&b, 16));
      if (a && b) m_translations.append({language, codePage});
    }
  }
}

QString TVersionInfo::value(int index) const {
  if (index < 0 || index >= 12) return {};
  return value(QString::fromLatin1(kNames[index]));
}

QString TVersionInfo::value(const QString& name) const {
  if (!m_hasBlock || m_translations.isEmpty()) return {};
  const auto& t = m_translations[currentTranslation()];
  const QString key = QStringLiteral("StringFileInfo\\%1%2")
                          .arg(t.first, 4, 16, QLatin1Char('0'))
                          .arg(t.second, 4, 16, QLatin1Char('0'));
  const ProfileFile block(m_block, ProfileFile::FromMemory{});
  return block.text(key, name);
}
