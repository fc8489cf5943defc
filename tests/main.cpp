#include <gtest/gtest.h>

#include <cstring>

#include "app/TessaryApplication.h"
#include "tests/CoreSupport.h"
#ifdef _WIN32
#include <windows.h>

#include "app/ExceptionLog.h"
#endif

int main(int argc, char** argv) {
  if (answerSleeperRequest(argc, argv)) return 0;
#ifdef _WIN32
  // A child of the exception log's test: an exception nobody handles, with the filter in place.
  if (argc == 3 && std::strcmp(argv[1], "--crash-into") == 0) {
    ExceptionLog::installSignalHandlers(QString::fromLocal8Bit(argv[2]), QStringLiteral("tessary_tests"));
    RaiseException(EXCEPTION_INT_DIVIDE_BY_ZERO, 0, 0, nullptr);
    return 0;  // not reached: the filter ends the process
  }
#endif
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  TessaryApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
