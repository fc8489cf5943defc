// tessary-cfg: read and write arena configuration files and other INI files
// from scripts, through the same engine the editor uses.

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QString>
#include <cstdio>
#include <cstring>
#include <optional>

#include "documents/ConfigDiff.h"
#include "documents/RangeCheck.h"
#include "profile/AtomicFile.h"
#include "profile/ProcessIdentity.h"
#include "profile/ProfileFile.h"
#include "profile/TessaryError.h"

namespace {
const char* const kUsage =
    "usage: tessary-cfg get FILE SECTION KEY [DEFAULT]\n"
    "       tessary-cfg set FILE SECTION KEY VALUE\n"
    "       tessary-cfg sections FILE\n"
    "       tessary-cfg keys FILE SECTION\n"
    "       tessary-cfg lines FILE SECTION\n"
    "       tessary-cfg check FILE [RULES]   (RULES: the validation rules shipped with the program)\n"
    "       tessary-cfg diff FILE OTHER\n"
    "       tessary-cfg --help | --version\n";

int usage() {
  std::fputs(kUsage, stderr);
  return 2;
}

int help() {
  std::fputs(kUsage, stdout);
  std::fputs(
      "\n"
      "Reads and writes arena configuration files (INI layout) with the editor's own engine:\n"
      "section and key names match without regard to letter case, and a write changes only\n"
      "the line it concerns, in one atomic replace of the file.\n"
      "\n"
      "  get       print a value (DEFAULT, or nothing, when the key is missing)\n"
      "  set       write a value\n"
      "  sections  print the section names, each once\n"
      "  keys      print the key names of a section\n"
      "  lines     print the KEY=VALUE lines of a section\n"
      "  check     print every value outside its known range\n"
      "  diff      print every setting whose value differs between two files, one a line:\n"
      "            Section - Key: FILE-value | OTHER-value, (missing) for a side without it\n"
      "\n"
      "Exit status: 0 done (check: no finding; diff: the files are alike); 1 a file could\n"
      "not be read or written (check: findings; diff: differences); 2 a usage fault, a\n"
      "name or value the layout cannot hold, rules that cannot be read, or (diff) a file\n"
      "that cannot be read.\n",
      stdout);
  return 0;
}

void printLine(QByteArrayView bytes) {
  std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
  std::fputc('\n', stdout);
}

QString fileArg(const QString& arg) {
  // A bare name would mean the per-user folder; on the command line it means this folder.
  QString path = QDir::fromNativeSeparators(arg);
  if (!path.contains(QLatin1Char('/'))) path.prepend(QStringLiteral("./"));
  return path;
}
// The rules shipped with the program: <folder of the executable>/base/cfgcheck.cdu
// (a build or an unpacked archive), else <prefix>/share/tessary/cfgcheck.cdu (a package).
QString defaultRules() {
  const QString exe = ProcessIdentity::ownExecutable();
  const QString folder = exe.left(exe.lastIndexOf(QLatin1Char('/')));
  const QString beside = folder + QStringLiteral("/base/cfgcheck.cdu");
  const QString shared = QDir::cleanPath(folder + QStringLiteral("/../share/tessary/cfgcheck.cdu"));
  return !QFileInfo::exists(beside) && QFileInfo::exists(shared) ? shared : beside;
}
}  // namespace

// "check FILE [RULES]": the findings, exit status 1 when there are any.
int check(const QString& file, const QString& rules) {
  RangeCheck::Rules loaded;
  try {
    loaded = RangeCheck::loadRules(rules);
  } catch (const TessaryError& e) {
    // Without its rules the check cannot say anything: a usage fault, not a finding.
    std::fprintf(stderr, "%s\n", e.what());
    return 2;
  }
  // A missing file has no values at all; checking it would report a false pass.
  const std::optional<QByteArray> config = AtomicFile::read(file);
  if (!config) throw ProfileReadError(QStringLiteral("Unable to read %1").arg(file));
  const QList<RangeCheck::Finding> findings =
      RangeCheck::check(ProfileFile(*config, ProfileFile::FromMemory{}), loaded);
  for (const RangeCheck::Finding& f : findings) printLine(f.text().toUtf8());
  return findings.isEmpty() ? 0 : 1;
}

// "diff A B": the differences, exit status 1 when there are any.
int diff(const QString& file, const QString& other) {
  // Both files must be there: a missing one would read as empty and differ everywhere.
  std::optional<QByteArray> a, b;
  try {
    a = AtomicFile::read(file);
    b = AtomicFile::read(other);
    if (!a) throw ProfileReadError(QStringLiteral("Unable to read %1").arg(file));
    if (!b) throw ProfileReadError(QStringLiteral("Unable to read %1").arg(other));
  } catch (const TessaryError& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 2;
  }
  const QList<ConfigDiff::Difference> differences = ConfigDiff::compare(
      ProfileFile(*a, ProfileFile::FromMemory{}), ProfileFile(*b, ProfileFile::FromMemory{}));
  for (const ConfigDiff::Difference& d : differences) printLine(ConfigDiff::line(d));
  return differences.isEmpty() ? 0 : 1;
}

int run(int argc, char** argv) {
  const char* command = argv[1];
  // File names as the system passed them, intact; names and values as bytes.
  const QStringList args = ProcessIdentity::arguments(argc, argv);
  const QString file = fileArg(args.value(1));
  if (std::strcmp(command, "get") == 0 && (argc == 5 || argc == 6)) {
    const ProfileFile profile(file);
    printLine(profile.value(argv[3], argv[4], argc == 6 ? QByteArray(argv[5]) : QByteArray()));
    return 0;
  }
  if (std::strcmp(command, "set") == 0 && argc == 6) {
    // A value is one line; a break inside it would change the file's structure.
    if (std::strpbrk(argv[5], "\r\n"))
      throw ProfileNameError(QStringLiteral("A value cannot hold a line break."));
    ProfileFile profile(file);
    profile.setValue(argv[3], argv[4], argv[5]);
    profile.commit();
    return 0;
  }
  if (std::strcmp(command, "sections") == 0 && argc == 3) {
    ProfileFile(file).forEachSectionName([](QByteArrayView s) { printLine(s); });
    return 0;
  }
  if (std::strcmp(command, "keys") == 0 && argc == 4) {
    for (const QByteArray& k : ProfileFile(file).keyNames(argv[3])) printLine(k);
    return 0;
  }
  if (std::strcmp(command, "check") == 0 && (argc == 3 || argc == 4))
    return check(file, argc == 4 ? fileArg(args.value(2)) : defaultRules());
  if (std::strcmp(command, "diff") == 0 && argc == 4) return diff(file, fileArg(args.value(2)));
  if (std::strcmp(command, "lines") == 0 && argc == 4) {
    for (const QByteArray& l : ProfileFile(file).sectionLines(argv[3])) printLine(l);
    return 0;
  }
  return usage();
}

int main(int argc, char** argv) {
  ProcessIdentity::useBinaryStandardStreams();
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) return help();
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("tessary-cfg %s\n", TESSARY_VERSION);
    return 0;
  }
  if (argc < 3) return usage();
  try {
    const int code = run(argc, argv);
    if (std::fflush(stdout) != 0) return 1;
    return code;
  } catch (const ProfileNameError& e) {
    // A name the file cannot hold is a usage error: nothing was written.
    std::fprintf(stderr, "%s\n", e.what());
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
}
