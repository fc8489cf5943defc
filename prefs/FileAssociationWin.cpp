// The association of "*.cfg" files in the registry of the user alone
// (HKEY_CURRENT_USER\Software\Classes, which Windows merges into
// HKEY_CLASSES_ROOT for this user): no administrator rights, nothing for other users.
#include <windows.h>
// After windows.h:
#include <shlobj.h>

#include <QDir>
#include <QFileInfo>
#include <optional>

#include "prefs/FileAssociation.h"
#include "profile/TessaryError.h"

namespace {
std::wstring wide(const QString& s) { return s.toStdWString(); }

// The default value (or the named one) of key under HKEY_CURRENT_USER; nullopt when missing.
std::optional<QString> readValue(const QString& key, const QString& name = QString()) {
  HKEY h = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, wide(key).c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
    return std::nullopt;
  DWORD type = 0;
  DWORD bytes = 0;
  const std::wstring valueName = wide(name);
  LSTATUS status = RegQueryValueExW(h, valueName.c_str(), nullptr, &type, nullptr, &bytes);
  std::optional<QString> out;
  if (status == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ) && bytes < (1u << 20)) {
    std::wstring data(bytes / sizeof(wchar_t) + 1, L'\0');
    status =
        RegQueryValueExW(h, valueName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &bytes);
    if (status == ERROR_SUCCESS) out = QString::fromWCharArray(data.c_str());  // up to its first NUL
  }
  RegCloseKey(h);
  return out;
}

// One row of the association: the key made when missing, its value set, the key closed.
void writeValue(const QString& key, const QString& name, const std::optional<QString>& data) {
  HKEY h = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, wide(key).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, &h, nullptr) != ERROR_SUCCESS)
    throw TessaryError(QStringLiteral("Failed to create key %1").arg(key));
  LSTATUS status = ERROR_SUCCESS;
  if (data) {
    const std::wstring text = wide(*data);
    status = RegSetValueExW(h, wide(name).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                            static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  }
  RegCloseKey(h);
  if (status != ERROR_SUCCESS) throw TessaryError(QStringLiteral("Failed to set data for '%1'").arg(name));
}

QString nativeExe(const QString& exe) { return QDir::toNativeSeparators(exe); }

// The executable part of an open command: the text between the first pair of
// double quotes when it starts with one, else the whole command.
QString executableOf(const QString& command) {
  if (!command.startsWith(QLatin1Char('"'))) return command;
  const qsizetype close = command.indexOf(QLatin1Char('"'), 1);
  return close < 0 ? QString() : command.mid(1, close - 1);
}

QString fileNameOf(const QString& path) {
  const qsizetype cut =
      std::max(path.lastIndexOf(QLatin1Char('\\')),
               std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char(':'))));
  return path.mid(cut + 1);
}

// Whether the program identifier's open command is free for us: missing, or
// running an executable of our file name (an earlier copy of this program).
bool programIdIsOurs(const FileAssociation::Locations& at, const QString& id, const QString& exe) {
  const std::optional<QString> command =
      readValue(at.classes + QLatin1Char('\\') + id + QStringLiteral("\\shell\\open\\command"));
  if (!command || command->isEmpty()) return true;
  return fileNameOf(executableOf(*command)).compare(fileNameOf(nativeExe(exe)), Qt::CaseInsensitive) == 0;
}
}  // namespace

namespace FileAssociation {

Locations fromEnvironment() { return {QStringLiteral("Software\\Classes")}; }

QString whereWritten(const QString& ext, const Locations& at) {
  return QStringLiteral("HKEY_CURRENT_USER\\%1\\.%2").arg(at.classes, ext);
}

void AssociateExtension(const QString& ext, const QString& exe, const Locations& at) {
  // "cfgfile", unless it opens files with another program already: that key is not ours.
  const QString classes = at.classes + QLatin1Char('\\');
  const QString id = programIdIsOurs(at, ext + QStringLiteral("file"), exe)
                         ? ext + QStringLiteral("file")
                         : QStringLiteral("Tessary.") + ext + QStringLiteral("file");
  const QString path = nativeExe(exe);
  writeValue(classes + QLatin1Char('.') + ext, QString(), id);
  writeValue(classes + id, QString(), std::nullopt);
  writeValue(classes + id + QStringLiteral("\\DefaultIcon"), QString(), path + QStringLiteral(",0"));
  writeValue(classes + id + QStringLiteral("\\Shell"), QString(), QStringLiteral("Open"));
  writeValue(classes + id + QStringLiteral("\\Shell\\Open"), QString(), QString());
  // The path in quotes: a folder with a blank ("Program Files") must not split it.
  writeValue(classes + id + QStringLiteral("\\shell\\open\\command"), QString(),
             QLatin1Char('"') + path + QStringLiteral("\" \"%1\""));
  SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
}

QString ReadOpenCommand(const QString& ext, const Locations& at) {
  const QString classes = at.classes + QLatin1Char('\\');
  const QString id = readValue(classes + QLatin1Char('.') + ext).value_or(QString());
  if (id.isEmpty()) return {};
  const QString command =
      readValue(classes + id + QStringLiteral("\\Shell\\Open\\Command")).value_or(QString());
  return executableOf(command);
}

bool isAssociatedWith(const QString& exe, const Locations& at) {
  QString command = ReadOpenCommand(QStringLiteral("cfg"), at);
  command.remove(QStringLiteral(" \"%1\""), Qt::CaseInsensitive);
  const QString opener = fileNameOf(command);
  return !opener.isEmpty() && opener == fileNameOf(nativeExe(exe));
}

QString packageEntry(const QString&) { return {}; }
bool packageIsOpener(const QString&, const QString&, const Locations&) { return false; }
void makePackageTheOpener(const QString&, const Locations&) {}

}  // namespace FileAssociation
