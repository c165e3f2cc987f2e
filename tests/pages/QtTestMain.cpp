// Entry of the page suites: one QApplication on Qt's offscreen platform
// (unless another is chosen) with the program's resources.

#include <gtest/gtest.h>

#include <QApplication>

#include "app/Resources.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  InitResources();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
