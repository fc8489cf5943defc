#pragma once
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

// Access to one file in INI layout ("[Section]" lines, then "key=value" lines).
//
// One accessor per use: the constructor reads and parses the file once; any
// number of reads follow; writes are collected and reach the disk in one atomic
// replace on commit() (or when the accessor is dropped). Nothing is cached
// between accessors, so a committed write is seen by every later accessor,
// also in another running copy of the program.
//
// Section and key names match without regard to (ASCII) letter case; blanks
// around names and values are ignored. A write replaces a value in place,
// appends a missing key at the end of its section and a missing section at the
// end of the file, and leaves every other byte as it was: comments, blank
// lines, unknown lines, line endings, a byte-order mark, bytes that are not
// UTF-8. No operation removes a section or a key.
class ProfileFile {
 public:
  // A name without a folder names a file in the per-user configuration folder
  // ($XDG_CONFIG_HOME/tessary/), like the profile files of other programs.
  // Throws ProfileReadError ("Unable to read <path>") when the file exists but
  // cannot be read or is not a regular file; a missing file reads as empty.
  explicit ProfileFile(const QString& fileName);
  ~ProfileFile();  // commits pending writes; reports a failure on standard error only
  ProfileFile(const ProfileFile&) = delete;
  ProfileFile& operator=(const ProfileFile&) = delete;

  static QString resolve(const QString& fileName);
  static QString configFolder();

  const QString& path() const { return m_path; }
  bool existed() const { return m_existed; }

  // Byte-level access.
  QByteArray value(const QByteArray& section, const QByteArray& key, const QByteArray& def = {}) const;
  bool hasKey(const QByteArray& section, const QByteArray& key) const;
  QList<QByteArray> sectionNames() const;  // each section once, though it may appear more often
  // Sections that appear more than once (letter case aside). Their keys are read
  // as one section: the first occurrence of a key wins, and a write goes there
  // (a new key to the first occurrence of the section).
  bool hasDuplicateSections() const;
  QList<QByteArray> duplicateSectionNames() const;
  QList<QByteArray> keyNames(const QByteArray& section) const;
  QList<QByteArray> sectionLines(const QByteArray& section) const;  // "key=value", values read as value()
  // Throws ProfileNameError for a name the layout cannot hold (see nameProblem).
  void setValue(const QByteArray& section, const QByteArray& key, const QByteArray& value);
  // Why a section or key name cannot be written, or empty when it can: an empty
  // name, "]" in a section name, "=" in a key name or a key name starting with
  // "[", ";" or "#", a line break in either.
  static QString nameProblem(const QByteArray& section, const QByteArray& key);

  // Text access for the windows: names and values decoded as TextCodec does.
  QString text(const QString& section, const QString& key, const QString& def = {}) const;
  QStringList sections() const;
  QStringList keys(const QString& section) const;
  void setText(const QString& section, const QString& key, const QString& value);

  bool isDirty() const { return m_dirty; }
  // Writes the collected changes in one atomic replace. Throws ProfileWriteError
  // ("Unable to write to <path>") and leaves the old file intact when it cannot.
  void commit();
  QByteArray content() const;

  // One-shot helpers: open, read or write one value, commit.
  static QString readText(const QString& file, const QString& section, const QString& key,
                          const QString& def = {});
  static void writeText(const QString& file, const QString& section, const QString& key,
                        const QString& value);

 private:
  struct Line {
    QByteArray text;
    QByteArray eol;
  };
  struct Key {
    QByteArray name;
    int line;
  };
  struct Section {
    QByteArray name;
    int next = -1;       // the next occurrence of a section of this name
    bool first = false;  // the first occurrence of its name
    std::vector<Line> lines;  // lines[0] is the "[name]" header, except in the preamble
    std::vector<Key> keys;    // in file order, duplicates included
    QHash<QByteArray, int> index;  // upper-case name -> first entry in keys
  };

  void parse(const QByteArray& data);
  const Section* findSection(const QByteArray& name) const;
  Section* findSection(const QByteArray& name);
  static QByteArray lineValue(const QByteArray& line);
  const Section* nextOccurrence(const Section* s) const;
  const Line* findKeyLine(const QByteArray& section, const QByteArray& key) const;
  Line* findKeyLine(const QByteArray& section, const QByteArray& key);
  QByteArray sectionBytes(const QString& section) const;
  QByteArray keyBytes(const QByteArray& section, const QString& key) const;

  QString m_path;
  bool m_existed = false;
  bool m_dirty = false;
  bool m_commitFailed = false;
  bool m_legacy = false;  // the file holds bytes that are not UTF-8
  QByteArray m_bom;
  QByteArray m_defaultEol = "\n";
  std::vector<Section> m_sections;  // m_sections[0]: lines before the first section
  QHash<QByteArray, int> m_sectionIndex;  // upper-case name -> first occurrence
};
