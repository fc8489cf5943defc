#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include "components/Pictures.h"
#include "prefs/FileAssociation.h"
#include "profile/AtomicFile.h"
#include "profile/ProfileFile.h"
#include "profile/TessaryError.h"

// The package's icons, built into the program (outside any namespace, as Qt's resource names are).
static void initIconResources() { Q_INIT_RESOURCE(icons); }

namespace {
const QString kDefaults = QStringLiteral("Default Applications");
// The desktop entry the Debian package installs.
const QString kPackageEntry = QStringLiteral("org.tessary.Tessary.desktop");
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

// The executable as the Exec key of a desktop entry holds it (the freedesktop.org
// rules for desktop entries): in double quotes with ", `, $ and \ escaped, "%" doubled
// (it starts a field code), then the escapes of a string value: "\" as "\\",
// line breaks and tabs as \n, \r and \t.
QString execValue(const QString& exe) {
  QString quoted = QStringLiteral("\"");
  for (QChar c : exe) {
    if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
      quoted += QLatin1Char('\\');
    if (c == QLatin1Char('%')) quoted += QLatin1Char('%');
    quoted += c;
  }
  quoted += QLatin1Char('"');
  QString value;
  for (QChar c : quoted) {
    if (c == QLatin1Char('\\'))
      value += QStringLiteral("\\\\");
    else if (c == QLatin1Char('\n'))
      value += QStringLiteral("\\n");
    else if (c == QLatin1Char('\r'))
      value += QStringLiteral("\\r");
    else if (c == QLatin1Char('\t'))
      value += QStringLiteral("\\t");
    else
      value += c;
  }
  return value;
}

// The reverse: the first argument of an Exec value (string escapes undone,
// then quoting, then "%%"); empty when the quoting is broken.
QString firstExecArgument(const QString& value) {
  QString text;
  for (qsizetype i = 0; i < value.size(); ++i) {
    if (value[i] == QLatin1Char('\\') && i + 1 < value.size()) {
      const QChar n = value[++i];
      text += n == QLatin1Char('n')   ? QChar(QLatin1Char('\n'))
              : n == QLatin1Char('r') ? QChar(QLatin1Char('\r'))
              : n == QLatin1Char('t') ? QChar(QLatin1Char('\t'))
              : n == QLatin1Char('s') ? QChar(QLatin1Char(' '))
                                      : n;
    } else {
      text += value[i];
    }
  }
  QString arg;
  if (text.startsWith(QLatin1Char('"'))) {
    qsizetype i = 1;
    for (; i < text.size() && text[i] != QLatin1Char('"'); ++i) {
      if (text[i] == QLatin1Char('\\') && i + 1 < text.size()) ++i;
      arg += text[i];
    }
    if (i >= text.size()) return {};  // no closing quote
  } else {
    arg = text.section(QLatin1Char(' '), 0, 0);
  }
  return arg.replace(QStringLiteral("%%"), QStringLiteral("%"));
}

// A desktop entry this program wrote carries this line; one without it is the user's or a package's.
const QString kOurMark = QStringLiteral("X-Tessary-Association=true");

void tell(const QString& tool, const QStringList& args) {
  const QString program = QStandardPaths::findExecutable(tool);
  if (program.isEmpty()) return;
  QProcess p;
  p.start(program, args);
  p.waitForFinished(30000);
}
}  // namespace

namespace FileAssociation {

namespace {
// entry first among the user's openers of type in mimeapps.list, the earlier choices after it.
void setDefaultOpener(const QString& type, const QString& entry, const Locations& at) {
  makeFolder(at.configHome);
  const QString list = at.configHome + QStringLiteral("/mimeapps.list");
  try {
    QStringList openers{entry};
    for (const QString& earlier :
         ProfileFile::readText(list, kDefaults, type).split(QLatin1Char(';'), Qt::SkipEmptyParts))
      if (!openers.contains(earlier.trimmed())) openers.append(earlier.trimmed());
    ProfileFile::writeText(list, kDefaults, type, openers.join(QLatin1Char(';')) + QLatin1Char(';'));
  } catch (const TessaryError&) {
    throw TessaryError(QStringLiteral("Failed to set data for '%1'").arg(list));
  }
}
}  // namespace

Locations fromEnvironment() {
  return {orDefault("XDG_DATA_HOME", QDir::homePath() + QStringLiteral("/.local/share")),
          orDefault("XDG_CONFIG_HOME", QDir::homePath() + QStringLiteral("/.config"))};
}

QString whereWritten(const QString&, const Locations& at) {
  return at.dataHome + QStringLiteral("/applications/") + ourDesktopFileName(at);
}

QString mimeType(const QString& ext) {
  return QStringLiteral("application/x-") + ext + QStringLiteral("file");
}
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
                           "    <sub-class-of type=\"text/plain\"/>\n"
                           "    <icon name=\"tessary\"/>\n"
                           "    <glob pattern=\"*.%2\"/>\n"
                           "  </mime-type>\n"
                           "</mime-info>\n")
                .arg(type, ext)
                .toUtf8());
  // Every size the package installs, so each desktop finds a sharp one.
  initIconResources();
  for (const char* size : {"16", "22", "24", "32", "48", "64", "128", "256", "scalable"}) {
    const bool scalable = qstrcmp(size, "scalable") == 0;
    const QString icons =
        at.dataHome + (scalable ? QStringLiteral("/icons/hicolor/scalable/apps")
                                : QStringLiteral("/icons/hicolor/%1x%1/apps").arg(QLatin1String(size)));
    makeFolder(icons);
    QFile picture(QStringLiteral(":/icons/%1.%2")
                      .arg(QLatin1String(size), scalable ? QStringLiteral("svg") : QStringLiteral("png")));
    if (!picture.open(QIODevice::ReadOnly))
      throw TessaryError(QStringLiteral("Failed to create key %1").arg(icons));
    writeFile(icons + (scalable ? QStringLiteral("/tessary.svg") : QStringLiteral("/tessary.png")),
              picture.readAll());
  }
  // The opener: the executable with the file as its only argument. An entry of
  // that name that this program did not write (the user's own) stays as it is.
  const QString applications = at.dataHome + QStringLiteral("/applications");
  makeFolder(applications);
  const QString entryName = ourDesktopFileName(at);
  writeFile(applications + QLatin1Char('/') + entryName,
            QStringLiteral("[Desktop Entry]\n"
                           "Type=Application\n"
                           "Name=Tessary\n"
                           "GenericName=Config Editor\n"
                           "Comment=SubSpace (Continuum) Config Editor\n"
                           "Exec=%1 %f\n"
                           "Icon=tessary\n"
                           "MimeType=%2;\n"
                           "Terminal=false\n"
                           "Categories=Utility;\n"
                           "%3\n")
                .arg(execValue(exe), type, kOurMark)
                .toUtf8());
  // The user's own choice of opener.
  setDefaultOpener(type, entryName, at);
  tell(QStringLiteral("update-mime-database"), {at.dataHome + QStringLiteral("/mime")});
  tell(QStringLiteral("update-desktop-database"), {applications});
}

QString ReadOpenCommand(const QString& ext, const Locations& at) {
  const QString list = at.configHome + QStringLiteral("/mimeapps.list");
  const QString chosen =
      ProfileFile::readText(list, kDefaults, mimeType(ext)).section(QLatin1Char(';'), 0, 0).trimmed();
  if (chosen.isEmpty()) return {};
  QString entry;
  for (const QString& folder :
       {at.dataHome + QStringLiteral("/applications"), QStringLiteral("/usr/share/applications")})
    if (QFileInfo::exists(folder + QLatin1Char('/') + chosen)) {
      entry = folder + QLatin1Char('/') + chosen;
      break;
    }
  if (entry.isEmpty()) return {};
  return firstExecArgument(ProfileFile::readText(entry, kEntry, QStringLiteral("Exec")));
}

QString ourDesktopFileName(const Locations& at) {
  const QString mine = at.dataHome + QStringLiteral("/applications/") + desktopFileName();
  const std::optional<QByteArray> existing = AtomicFile::read(mine);
  if (!existing || existing->contains(kOurMark.toUtf8())) return desktopFileName();
  return QStringLiteral("tessary-association.desktop");
}

QString packageEntry(const QString& exe) {
  // Beside the program's own prefix first (bin/../share), then where the system keeps entries.
  QStringList folders{QFileInfo(exe).absolutePath() + QStringLiteral("/../share")};
  const QString dirs = qEnvironmentVariable("XDG_DATA_DIRS", QStringLiteral("/usr/local/share:/usr/share"));
  folders += dirs.split(QLatin1Char(':'), Qt::SkipEmptyParts);
  for (const QString& folder : folders) {
    const QString entry = QDir::cleanPath(folder + QStringLiteral("/applications/") + kPackageEntry);
    if (QFileInfo(entry).isFile()) return entry;
  }
  return {};
}

bool packageIsOpener(const QString& ext, const QString& exe, const Locations& at) {
  if (packageEntry(exe).isEmpty()) return false;
  // The package registered itself for the type; only a choice of the user's own for another opener counts
  // against it.
  const QString list = at.configHome + QStringLiteral("/mimeapps.list");
  const QString chosen =
      ProfileFile::readText(list, kDefaults, mimeType(ext)).section(QLatin1Char(';'), 0, 0).trimmed();
  return chosen.isEmpty() || chosen == kPackageEntry;
}

void makePackageTheOpener(const QString& ext, const Locations& at) {
  setDefaultOpener(mimeType(ext), kPackageEntry, at);
}

bool isAssociatedWith(const QString& exe, const Locations& at) {
  const QString command = ReadOpenCommand(QStringLiteral("cfg"), at);
  const QString name = command.mid(command.lastIndexOf(QLatin1Char('/')) + 1).trimmed();
  return !name.isEmpty() && name == QFileInfo(exe).fileName();
}

}  // namespace FileAssociation
