// Runs a GUI suite with a QApplication on Qt's offscreen platform.

#include <gtest/gtest.h>

#include <QApplication>

#include "app/Resources.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  QApplication application(argc, argv);
  InitResources();
  return RUN_ALL_TESTS();
}
