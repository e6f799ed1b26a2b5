#include "savedirectory.h"

#include <QDir>
#include <QFile>

QString ResolveSaveDirectory(const QString& directory, const QString& programdirectory) {
  if (directory == u'~') return QDir::homePath();
  if (directory.startsWith(QStringLiteral("~/"))) return QDir::homePath() + directory.mid(1);
  if (QDir::isAbsolutePath(directory)) return directory;
  return programdirectory + u'/' + directory;
}

bool ProbeSaveDirectory(const QString& directory, const QString& programdirectory) {
  const QString target = QDir::cleanPath(ResolveSaveDirectory(directory, programdirectory));
  if (!QDir().mkpath(target)) return false;
  const QString probe = target + QStringLiteral("/~tmp1");
  const bool existed = QFile::exists(probe);
  QFile file(probe);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) return false;
  file.close();
  return existed || file.remove();
}
