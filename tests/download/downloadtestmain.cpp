// Each test process keeps its settings and program directory in a private
// folder and runs one engine for all its tests.
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

#include "lark.h"
#include "shell/enginemessageevent.h"

#ifdef SKYLARK_TEST_WIDGETS
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char** argv) {
  QTemporaryDir home;
  if (!home.isValid()) return 2;
  const QByteArray root = home.path().toUtf8();
  setenv("XDG_CONFIG_HOME", (root + "/config").constData(), 1);
  setenv("XDG_DATA_HOME", (root + "/data").constData(), 1);
  setenv("SKYLARK_HOME", (root + "/program").constData(), 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  TestApplication app(argc, argv);
  lark::startengine();
  lark::setmessageposter(PostEngineMessage);
  ::testing::InitGoogleTest(&argc, argv);
  const int status = RUN_ALL_TESTS();
  lark::releasedllres();
  return status;
}
