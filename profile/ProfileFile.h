#pragma once
#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <exception>
#include <functional>
#include <unordered_map>
#include <vector>

#include "profile/TableMemory.h"

// Access to one file in INI layout ("[Section]" lines, then "key=value" lines).
//
// One accessor per use: the constructor reads and parses the file once; any
// number of reads follow; writes are collected and reach the disk in one atomic
// replace on commit() (or when the accessor is dropped). Nothing is cached
// between accessors, so a committed write is seen by every later accessor,
// also in another running copy of the program.
//
// Section and key names match without regard to (ASCII) letter case; blanks
// around names and values are ignored. LF, CR LF and a lone CR all end a line.
// A write replaces a value in place, appends a missing key at the end of its
// section and a missing section at the end of the file, and leaves every other
// byte as it was: comments, blank lines, unknown lines, each line's own ending,
// a byte-order mark, bytes that are not UTF-8. No operation removes a section
// or a key.
//
// The parsed form is a table of line positions into the file's own bytes, so a
// parsed file takes little more memory than the file itself.
class ProfileFile {
 public:
  // A name without a folder names a file in the per-user configuration folder
  // ($XDG_CONFIG_HOME/tessary/), like the profile files of other programs.
  // Throws ProfileReadError ("Unable to read <path>") when the file exists but
  // cannot be read or is not a regular file; a missing file reads as empty.
  explicit ProfileFile(const QString& fileName);
  // Parses content held in memory; commit() writes nothing for it.
  struct FromMemory {};
  ProfileFile(const QByteArray& content, FromMemory);
  ~ProfileFile();  // commits pending writes; reports a failure on standard error only
  ProfileFile(const ProfileFile&) = delete;
  ProfileFile& operator=(const ProfileFile&) = delete;

  static QString resolve(const QString& fileName);
  static QString configFolder();

  const QString& path() const { return m_path; }
  bool existed() const { return m_existed; }
  bool isLegacyEncoded() const { return m_legacy; }  // the file holds bytes that are not UTF-8

  // Byte-level access.
  QByteArray value(const QByteArray& section, const QByteArray& key, const QByteArray& def = {}) const;
  bool hasKey(const QByteArray& section, const QByteArray& key) const;
  bool hasSection(QByteArrayView section) const { return findSection(section) >= 0; }
  // The key is there and its value is blanks only ("1=   "), which reads as empty.
  bool hasBlankValue(const QByteArray& section, const QByteArray& key) const;
  QList<QByteArray> sectionNames() const;
  // The same names as views into the file's bytes, one call each, in file order:
  // no copy per name (a file of a million sections).
  void forEachSectionName(const std::function<void(QByteArrayView)>& visit)
      const;  // each section once, though it may appear more often
  // Sections that appear more than once (letter case aside). Their keys are read
  // as one section: the first occurrence of a key wins, and a write goes there
  // (a new key to the first occurrence of the section).
  bool hasDuplicateSections() const { return m_uniqueSections < m_sections.size(); }
  QList<QByteArray> duplicateSectionNames() const;
  QList<QByteArray> keyNames(const QByteArray& section) const;
  // A key and its value (as value() reads it), as views into the accessor's
  // bytes: valid until the next write or the end of the accessor.
  struct Entry {
    QByteArrayView key;
    QByteArrayView value;
  };
  // Every key of the section once, in the order of keyNames(), with its value:
  // a whole section without a lookup or a copy per key.
  std::vector<Entry> entries(const QByteArray& section) const;
  // Every section once, in file order, with entries(section): the whole file
  // read without a lookup by name or a copy per section.
  void forEachSection(
      const std::function<void(QByteArrayView name, const std::vector<Entry>& entries)>& visit) const;
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
  // What setText(section, key, value) would write, as bytes: the file's own
  // spelling of the names and the value in the encoding its old value had.
  struct Encoded {
    QByteArray section;
    QByteArray key;
    QByteArray value;
  };
  Encoded encode(const QString& section, const QString& key, const QString& value) const;
  // A whole section decoded: keys(section), and for each its value as text() reads it.
  struct TextEntries {
    QStringList keys;
    QStringList values;
  };
  TextEntries textEntries(const QString& section) const;
  // Whether two names are the same to the file: (ASCII) letter case aside.
  static bool sameName(QByteArrayView a, QByteArrayView b);
  // The one form of a name that sameName() sees: ASCII letters upper case. Names
  // are equal to the file exactly when their folded forms are (for sets and maps).
  static QByteArray foldedName(QByteArrayView name);

  bool isDirty() const { return m_dirty; }
  // Writes the collected changes in one atomic replace. Throws ProfileWriteError
  // ("Unable to write to <path>") and leaves the old file intact when it cannot.
  void commit();
  // Drops the writes not yet committed from what reaches the disk: the accessor
  // is to be thrown away (its reads still show them).
  void abandon() { m_dirty = false; }
  QByteArray content() const;

  // One-shot helpers: open, read or write one value, commit.
  static QString readText(const QString& file, const QString& section, const QString& key,
                          const QString& def = {});
  static void writeText(const QString& file, const QString& section, const QString& key,
                        const QString& value);

 private:
  // A line: where its text starts in m_data (or which m_extra entry holds it
  // once edited), its length and its ending.
  struct Line {
    std::uint32_t start;
    std::uint32_t info;  // length (29 bits) | ending << 29 | kExtra
  };
  struct Section {
    std::uint32_t header;         // line of "[name]"
    std::uint32_t firstKey;       // its keys: m_keys[firstKey .. firstKey + keyCount)
    std::uint32_t keyCount : 31;  // fewer than 2^31: each key line takes two bytes at least
    std::uint32_t first : 1;      // the first section of its name
    std::int32_t next;            // next section of the same name, or -1
  };
  static_assert(sizeof(Section) == 16, "a million sections: four bytes each count");

  void parse();
  Line longLine(std::uint32_t start, std::uint32_t length, std::uint32_t eol);
  QByteArrayView lineText(std::uint32_t line) const;
  std::uint32_t eolOf(std::uint32_t line) const;
  void setLineText(std::uint32_t line, const QByteArray& text);
  void setLineEol(std::uint32_t line, std::uint32_t eol);
  void insertLine(std::uint32_t at, const QByteArray& text);
  QByteArrayView sectionName(const Section& s) const;
  QByteArrayView keyName(std::uint32_t keyIndex) const;

  int findSection(QByteArrayView name) const;
  int findKey(int section, QByteArrayView name, std::uint32_t hash) const;  // index into m_keys
  int findKeyAnywhere(QByteArrayView section, QByteArrayView key) const;
  struct KeyIndex {
    std::vector<std::int32_t> table;  // open addressing over the section's keys (relative index, or -1)
    bool distinct = true;             // no key name appears twice in the section
  };
  // hashes: the hashes of the section's key names in file order, when the caller has them already.
  const KeyIndex& keyIndex(int section, std::vector<std::uint32_t> hashes = {}) const;
  bool keysDistinct(int section, std::vector<std::uint32_t> hashes = {})
      const;  // no key name appears twice in this occurrence
  Entry entryOf(std::uint32_t keyIndex) const;
  void entriesInto(int section, std::vector<Entry>& out) const;
  void insertIntoSectionTable(int section, std::uint32_t hash);
  // hashes: of every section's name in file order, when the caller has them.
  void rebuildSectionTable(std::size_t tableSize, const Table<std::uint32_t>& hashes = {});

  QByteArray sectionBytes(const QString& section) const;
  QByteArray keyBytes(const QByteArray& section, const QString& key) const;

  QString m_path;
  bool m_existed = false;
  bool m_dirty = false;
  bool m_commitFailed = false;
  bool m_inMemory = false;
  int m_uncaughtAtStart = std::uncaught_exceptions();  // exceptions already in flight when made
  bool m_legacy = false;
  QByteArray m_data;        // the file's bytes as read
  std::uint32_t m_bom = 0;  // length of a byte-order mark at the start
  std::uint32_t m_defaultEol = 1;
  Table<Line> m_lines;
  std::vector<QByteArray> m_extra;  // texts of edited and added lines
  Table<Section> m_sections;        // file order
  Table<std::uint32_t> m_keys;      // line of each key line inside a section, file order
  std::size_t m_uniqueSections = 0;
  Table<std::int32_t> m_sectionTable;  // open addressing: first section of a name, or -1
  // Per large section, built on first use.
  mutable std::unordered_map<int, KeyIndex> m_keyTables;
};
