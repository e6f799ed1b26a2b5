#include "savedirectory.h"

#include <QDir>
#include <QFile>

#include "programdir.h"

QString ResolveSaveDirectory(const QString& directory, const QString& programdirectory) {
  return QFile::decodeName(QByteArray::fromStdString(lark::resolvelocaldir(
      QFile::encodeName(directory).toStdString(), QFile::encodeName(programdirectory).toStdString())));
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
