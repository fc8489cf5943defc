#pragma once
#include <QByteArray>
#include <QString>
#include <optional>

// What a file on disk held when the program last read or wrote it: enough to
// tell, right before replacing it, whether someone else (a text editor, the
// zone server, the command-line tool) has written it since. Size and
// modification time answer the cheap question "may it have changed?"; the
// content digest answers "did it?", so a file touched but not changed is no
// change.
struct DiskStamp {
  bool exists = false;
  qint64 size = 0;
  qint64 modifiedNs = 0;  // nanoseconds since the epoch
  QByteArray sha256;      // hex; empty while unknown

  // The stamp of the file at path now; a missing file gives exists == false.
  // Throws ProfileReadError when something is there but cannot be read.
  static DiskStamp of(const QString& path);
  // Size and time only (no digest): the cheap look. Taken before a read, so a
  // write racing the read makes the stamp look older, never newer, than the content.
  static DiskStamp look(const QString& path);
  // Completes a look with the content read after it (nullopt: there was no file).
  DiskStamp& withContent(const std::optional<QByteArray>& content);
  static QByteArray digest(const QByteArray& content);

  bool known() const { return !exists || !sha256.isEmpty(); }
  // Cheap: the size or the time differ (or the file came or went).
  bool looksDifferent(const DiskStamp& now) const;
  // Whether the file's content is no longer what this stamp saw.
  bool contentDiffers(const DiskStamp& now) const;

  // As the recovery record keeps it: "size modifiedNs sha256", or "missing".
  QString toText() const;
  static std::optional<DiskStamp> fromText(const QString& text);
};
