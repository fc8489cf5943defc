#pragma once
#include <QString>
#include <cstdint>
#include <stdexcept>

// The one exception type the program raises. It carries the user's message and
// remembers the code address of the throw, which the exception log reports as
// the place where the error was raised.
class TessaryError : public std::runtime_error {
 public:
  explicit TessaryError(const QString& message);
  QString message() const { return m_message; }
  // Return address inside the function that constructed the error.
  std::uintptr_t raisedAt() const { return m_raisedAt; }

 private:
  QString m_message;
  std::uintptr_t m_raisedAt = 0;
};

// A conversion of text to a number failed ("'abc' is not a valid integer value").
class ConvertError : public TessaryError {
 public:
  using TessaryError::TessaryError;
};

// A profile (INI) file could not be written.
class ProfileWriteError : public TessaryError {
 public:
  using TessaryError::TessaryError;
};

// A file exists but cannot be read (no permission, not a regular file).
class ProfileReadError : public TessaryError {
 public:
  using TessaryError::TessaryError;
};

// A section or key name that the INI layout cannot hold.
class ProfileNameError : public TessaryError {
 public:
  using TessaryError::TessaryError;
};

// The file to be replaced is no longer what the document read: someone else wrote it.
class FileChangedError : public TessaryError {
 public:
  using TessaryError::TessaryError;
};
