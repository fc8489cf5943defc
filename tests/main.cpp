#include <gtest/gtest.h>

#include "app/TessaryApplication.h"
#include "tests/CoreSupport.h"

int main(int argc, char** argv) {
  if (answerSleeperRequest(argc, argv)) return 0;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  TessaryApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
