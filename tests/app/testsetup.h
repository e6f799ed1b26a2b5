// Every test process keeps its settings and program directory in a private
// temporary folder, set before Qt first looks at them.
#pragma once

#include <QTemporaryDir>

#include <cstdlib>

inline QTemporaryDir& TestHome() {
  static QTemporaryDir home;
  return home;
}

inline void SetUpTestHome() {
  const QByteArray root = TestHome().path().toUtf8();
  setenv("XDG_CONFIG_HOME", (root + "/config").constData(), 1);
  setenv("XDG_DATA_HOME", (root + "/data").constData(), 1);
  setenv("SKYLARK_HOME", (root + "/program").constData(), 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
}
