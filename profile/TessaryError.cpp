#include "profile/TessaryError.h"

// Not inlined, so that the return address is the constructing caller (the throw site).
__attribute__((noinline)) TessaryError::TessaryError(const QString& message)
    : std::runtime_error(message.toStdString()),
      m_message(message),
      m_raisedAt(
          reinterpret_cast<std::uintptr_t>(__builtin_extract_return_addr(__builtin_return_address(0)))) {}
