// The tests of the rules that need no window: no display, no platform plug-in.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "tests/CoreSupport.h"

int main(int argc, char** argv) {
  if (answerSleeperRequest(argc, argv)) return 0;
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
