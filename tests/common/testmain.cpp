// Each test process keeps its settings and program directory in a private
// temporary folder, set before Qt first looks at them; the download tests
// run one engine for all their tests.
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

#ifdef SKYLARK_TEST_ENGINE
#include "core/enginemessageevent.h"
#include "lark.h"
#endif

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
  QCoreApplication::setOrganizationName(QStringLiteral("Tamberly"));
  QCoreApplication::setApplicationName(QStringLiteral("skylark"));
#ifdef SKYLARK_TEST_ENGINE
  lark::startengine();
  lark::setmessageposter(PostEngineMessage);
#endif
  ::testing::InitGoogleTest(&argc, argv);
  const int status = RUN_ALL_TESTS();
#ifdef SKYLARK_TEST_ENGINE
  lark::releasedllres();
#endif
  return status;
}
