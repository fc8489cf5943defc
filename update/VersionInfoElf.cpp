// The version block of an ELF executable: the text of its section
// ".tessary_version", written at build time (VersionBlock.cpp).
#include <elf.h>

#include <cstring>
#include <optional>

#include "profile/AtomicFile.h"
#include "update/VersionInfo.h"

extern const char kTessaryVersionBlock[];

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

QByteArray TVersionInfo::blockOf(const QString& path) {
  std::optional<QByteArray> file;
  try {
    file = AtomicFile::read(path);
  } catch (const std::exception&) {
    return {};  // an unreadable file has no block
  }
  return file ? findBlock(*file) : QByteArray();
}
