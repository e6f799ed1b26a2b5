#include <QApplication>

#include <gtest/gtest.h>

#include "testsetup.h"

int main(int argc, char** argv) {
  SetUpTestHome();
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
