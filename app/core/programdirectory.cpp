#include "programdirectory.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace {

QString ExecutableDirectory() {
  if (QCoreApplication::instance()) return QCoreApplication::applicationDirPath();
  return QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).absolutePath();
}

QString Created(const QString& directory) {
  QDir().mkpath(directory);  // a failure shows when the list files are opened
  return QDir::cleanPath(directory);
}

}  // namespace

QString ProgramDirectory() {
  const QString home = qEnvironmentVariable("SKYLARK_HOME");
  if (!home.isEmpty()) return Created(home);
  const QString executable = ExecutableDirectory();
  if (!executable.isEmpty() && access(QFile::encodeName(executable).constData(), W_OK) == 0) return executable;
  QString data = qEnvironmentVariable("XDG_DATA_HOME");
  if (data.isEmpty()) data = QDir::homePath() + QStringLiteral("/.local/share");
  return Created(data + QStringLiteral("/skylark"));
}
