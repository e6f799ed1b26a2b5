// The window tests run offscreen, each process with its own settings and
// program directory (tests set fresh ones per case as well).
#include <QApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
  QTemporaryDir home;
  if (!home.isValid()) return 2;
  const QByteArray root = home.path().toUtf8();
  setenv("XDG_CONFIG_HOME", (root + "/config").constData(), 1);
  setenv("XDG_DATA_HOME", (root + "/data").constData(), 1);
  setenv("SKYLARK_HOME", (root + "/program").constData(), 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  QCoreApplication::setOrganizationName(QStringLiteral("Tamberly"));
  QCoreApplication::setApplicationName(QStringLiteral("skylark"));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
