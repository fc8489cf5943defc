#include "update/VersionInfo.h"

#include <elf.h>

#include <QCoreApplication>
#include <cstring>

#include "profile/AtomicFile.h"
#include "profile/ProfileFile.h"

extern const char kTessaryVersionBlock[];

const char* const TVersionInfo::kNames[12] = {"Comments",        "CompanyName",      "FileDescription",
                                              "FileVersion",     "InternalName",     "LegalCopyright",
                                              "LegalTrademarks", "OriginalFileName", "PrivateBuild",
                                              "ProductName",     "ProductVersion",   "SpecialBuild"};

namespace {
const char kSection[] = ".tessary_version";
// A real reference, so the linker takes the block into every executable that reads it.
[[maybe_unused]] const char* volatile g_keepBlock = kTessaryVersionBlock;

template <typename T>
bool readAt(const QByteArray& file, quint64 offset, T* out) {
  if (offset + sizeof(T) > static_cast<quint64>(file.size())) return false;
  std::memcpy(out, file.constData() + offset, sizeof(T));
  return true;
}
}  // namespace

QByteArray TVersionInfo::findBlock(const QByteArray& file) {
  Elf64_Ehdr eh{};
  if (!readAt(file, 0, &eh) || std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 ||
      eh.e_ident[EI_CLASS] != ELFCLASS64)
    return {};
  Elf64_Shdr names{};
  if (eh.e_shstrndx == SHN_UNDEF ||
      !readAt(file, eh.e_shoff + quint64(eh.e_shstrndx) * eh.e_shentsize, &names))
    return {};
  for (quint16 i = 0; i < eh.e_shnum; ++i) {
    Elf64_Shdr sh{};
    if (!readAt(file, eh.e_shoff + quint64(i) * eh.e_shentsize, &sh)) return {};
    const quint64 nameAt = names.sh_offset + sh.sh_name;
    if (nameAt + sizeof kSection > static_cast<quint64>(file.size())) continue;
    if (std::memcmp(file.constData() + nameAt, kSection, sizeof kSection) != 0) continue;
    if (sh.sh_offset + sh.sh_size > static_cast<quint64>(file.size())) return {};
    QByteArray block = file.mid(static_cast<qsizetype>(sh.sh_offset), static_cast<qsizetype>(sh.sh_size));
    const qsizetype end = block.indexOf('\0');
    return end < 0 ? block : block.left(end);
  }
  return {};
}

void TVersionInfo::setFileName(const QString& fileName) {
  m_fileName = fileName.isEmpty() ? QCoreApplication::applicationFilePath() : fileName;
  m_hasBlock = false;
  m_block.clear();
  m_translations.clear();
  std::optional<QByteArray> file;
  try {
    file = AtomicFile::read(m_fileName);
  } catch (const std::exception&) {
    return;  // an unreadable file has no block
  }
  if (!file) return;
  m_block = findBlock(*file);
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
