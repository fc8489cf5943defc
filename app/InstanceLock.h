#pragma once
#include <QString>
#include <memory>

// The lock that makes one running copy per user: a lock the system releases
// when the process ends, however it ends, on a file in a folder only the user
// can use (runtimeFolder()). One file per platform implements it.
class InstanceLock {
 public:
  enum class Result { Taken, HeldElsewhere, Failed };
  InstanceLock();
  ~InstanceLock();  // releases a lock still held
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // Opens (or makes) the lock file at path, never through a link, and takes the
  // lock. A lock held elsewhere is waited for up to waitMs (a copy that is
  // ending); waiting is said on standard error under name. *why: why it Failed.
  Result take(const QString& path, int waitMs, const QString& name, QString* why);
  bool held() const;
  // Lets the lock go; false (with *why) when the system refused.
  bool release(QString* why);

  // Whether a running copy holds the lock at path now (without taking it).
  static bool isHeld(const QString& path);

  // The folder of the lock and the hand-over socket: a folder of this user's
  // alone, made when needed; empty (with the reasons in *why) when none will do.
  static QString runtimeFolder(QString* why = nullptr);

 private:
  struct Impl;
  std::unique_ptr<Impl> d;
};
