#include "prefs/FileAssociation.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include "components/Pictures.h"
#include "profile/AtomicFile.h"
#include "profile/ProfileFile.h"
#include "profile/TessaryError.h"

namespace {
const QString kDefaults = QStringLiteral("Default Applications");
const QString kEntry = QStringLiteral("Desktop Entry");

QString orDefault(const char* variable, const QString& fallback) {
  const QString value = qEnvironmentVariable(variable);
  return value.isEmpty() || QDir::isRelativePath(value) ? fallback : value;
}

void makeFolder(const QString& folder) {
  if (!QDir().mkpath(folder)) throw TessaryError(QStringLiteral("Failed to create key %1").arg(folder));
}

void writeFile(const QString& path, const QByteArray& content) {
  try {
    AtomicFile::write(path, content);
  } catch (const TessaryError&) {
    throw TessaryError(QStringLiteral("Failed to set data for '%1'").arg(path));
  }
}

// Exec quoting of desktop entries: the path in double quotes,
// with ", `, $ and \ escaped.
QString quotedExec(const QString& exe) {
  QString escaped;
  for (QChar c : exe) {
    if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
      escaped += QLatin1Char('\\');
    escaped += c;
  }
  return QLatin1Char('"') + escaped + QLatin1Char('"');
}

void tell(const QString& tool, const QStringList& args) {
  const QString program = QStandardPaths::findExecutable(tool);
  if (program.isEmpty()) return;
  QProcess p;
  p.start(program, args);
  p.waitForFinished(30000);
}
}  // namespace

namespace FileAssociation {

Locations fromEnvironment() {
  return {orDefault("XDG_DATA_HOME", QDir::homePath() + QStringLiteral("/.local/share")),
          orDefault("XDG_CONFIG_HOME", QDir::homePath() + QStringLiteral("/.config"))};
}

QString mimeType(const QString& ext) { return QStringLiteral("application/x-") + ext + QStringLiteral("file"); }
QString desktopFileName() { return QStringLiteral("tessary.desktop"); }
QString desktopFilePath(const Locations& at) {
  return at.dataHome + QStringLiteral("/applications/") + desktopFileName();
}

void AssociateExtension(const QString& ext, const QString& exe, const Locations& at) {
  const QString type = mimeType(ext);
  // The type, with the program's icon.
  const QString packages = at.dataHome + QStringLiteral("/mime/packages");
  makeFolder(packages);
  writeFile(packages + QStringLiteral("/tessary-") + ext + QStringLiteral("file.xml"),
            QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                           "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
                           "  <mime-type type=\"%1\">\n"
                           "    <comment>Arena configuration file</comment>\n"
                           "    <icon name=\"tessary\"/>\n"
                           "    <glob pattern=\"*.%2\"/>\n"
                           "  </mime-type>\n"
                           "</mime-info>\n")
                .arg(type, ext)
                .toUtf8());
  for (int size : {16, 24, 32}) {
    const QString icons = at.dataHome + QStringLiteral("/icons/hicolor/%1x%1/apps").arg(size);
    makeFolder(icons);
    QFile picture(QStringLiteral(":/pictures/%1-%2.png").arg(Pictures::mainName(10)).arg(size));
    Pictures::main(10);  // makes sure the pictures are loaded
    if (!picture.open(QIODevice::ReadOnly)) throw TessaryError(QStringLiteral("Failed to create key %1").arg(icons));
    writeFile(icons + QStringLiteral("/tessary.png"), picture.readAll());
  }
  // The opener: the executable with the file as its only argument.
  const QString applications = at.dataHome + QStringLiteral("/applications");
  makeFolder(applications);
  writeFile(desktopFilePath(at), QStringLiteral("[Desktop Entry]\n"
                                                "Type=Application\n"
                                                "Name=Tessary\n"
                                                "GenericName=Config Editor\n"
                                                "Comment=SubSpace (Continuum) Config Editor\n"
                                                "Exec=%1 %f\n"
                                                "Icon=tessary\n"
                                                "MimeType=%2;\n"
                                                "Terminal=false\n"
                                                "Categories=Utility;\n")
                                     .arg(quotedExec(exe), type)
                                     .toUtf8());
  // The user's own choice of opener.
  makeFolder(at.configHome);
  const QString list = at.configHome + QStringLiteral("/mimeapps.list");
  try {
    ProfileFile::writeText(list, kDefaults, type, desktopFileName());
  } catch (const TessaryError&) {
    throw TessaryError(QStringLiteral("Failed to set data for '%1'").arg(list));
  }
  tell(QStringLiteral("update-mime-database"), {at.dataHome + QStringLiteral("/mime")});
  tell(QStringLiteral("update-desktop-database"), {applications});
}

QString ReadOpenCommand(const QString& ext, const Locations& at) {
  const QString list = at.configHome + QStringLiteral("/mimeapps.list");
  const QString chosen = ProfileFile::readText(list, kDefaults, mimeType(ext)).section(QLatin1Char(';'), 0, 0).trimmed();
  if (chosen.isEmpty()) return {};
  QString entry;
  for (const QString& folder : {at.dataHome + QStringLiteral("/applications"), QStringLiteral("/usr/share/applications")})
    if (QFileInfo::exists(folder + QLatin1Char('/') + chosen)) {
      entry = folder + QLatin1Char('/') + chosen;
      break;
    }
  if (entry.isEmpty()) return {};
  QString command = ProfileFile::readText(entry, kEntry, QStringLiteral("Exec"));
  if (command.startsWith(QLatin1Char('"'))) {
    QString inside;
    for (qsizetype i = 1; i < command.size(); ++i) {
      if (command[i] == QLatin1Char('\\') && i + 1 < command.size()) {
        inside += command[++i];
      } else if (command[i] == QLatin1Char('"')) {
        return inside;
      } else {
        inside += command[i];
      }
    }
    return {};  // no closing quote
  }
  return command;
}

bool isAssociatedWith(const QString& exe, const Locations& at) {
  QString command = ReadOpenCommand(QStringLiteral("cfg"), at);
  static const QRegularExpression fieldCodes(QStringLiteral(" %[fFuU]"));
  command.remove(fieldCodes);
  const QString name = command.mid(command.lastIndexOf(QLatin1Char('/')) + 1).trimmed();
  return !name.isEmpty() && name == QFileInfo(exe).fileName();
}

}  // namespace FileAssociation
