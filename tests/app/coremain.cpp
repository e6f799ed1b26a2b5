#include <QCoreApplication>

#include <gtest/gtest.h>

#include "testsetup.h"

int main(int argc, char** argv) {
  SetUpTestHome();
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
