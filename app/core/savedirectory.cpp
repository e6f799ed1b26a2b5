#include "savedirectory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "messageseam.h"

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

bool ConfirmSaveDirectory(const QString& directory, const QString& programdirectory, CMessageSeam& messages) {
  const QString target = QDir::cleanPath(ResolveSaveDirectory(directory, programdirectory));
  const QFileInfo info(target);
  if (info.exists() && !info.isDir()) {
    messages.Notice(QStringLiteral("The save directory %1 is a file, not a folder.").arg(target));
    return false;
  }
  if (!info.exists()) {
    if (!messages.Ask(QStringLiteral("The save directory %1 does not exist. Create it?").arg(target))) return false;
    if (!QDir().mkpath(target)) {
      messages.Notice(QStringLiteral("Cannot create the save directory %1.").arg(target));
      return false;
    }
  }
  if (!ProbeSaveDirectory(target, programdirectory)) {
    messages.Notice(QStringLiteral("Cannot write to the save directory %1.").arg(target));
    return false;
  }
  return true;
}
