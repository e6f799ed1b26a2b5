#include "listfile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

#include "messageseam.h"

namespace {

const QString kCouldNotCreate = QStringLiteral("Could not create file!");

bool WriteAll(int fd, const QByteArray& bytes) {
  const char* data = bytes.constData();
  qsizetype left = bytes.size();
  while (left > 0) {
    const ssize_t written = write(fd, data, static_cast<size_t>(left));
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    left -= written;
  }
  return true;
}

bool ReadFile(const QString& path, QByteArray& contents, ListFileAccess access) {
  const QByteArray name = QFile::encodeName(path);
  const int flags = access == ListFileAccess::ReadWrite ? O_RDONLY | O_CREAT | O_CLOEXEC : O_RDONLY | O_CLOEXEC;
  const int fd = open(name.constData(), flags, 0600);
  if (fd < 0 && access == ListFileAccess::ReadOnly && errno == ENOENT) {
    contents.clear();
    return true;
  }
  if (fd < 0) return false;
  contents.clear();
  char buffer[4096];
  bool ok = true;
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) ok = false;
    if (got <= 0) break;
    contents.append(buffer, got);
  }
  if (close(fd) != 0) ok = false;
  return ok;
}

// The bytes as they were read, not a second read of the file, and never
// over an earlier copy (O_EXCL).
bool KeepDamagedCopy(const QString& path, const QByteArray& contents, QString& keptas) {
  keptas = DamagedCopyPath(path);
  const int fd = open(QFile::encodeName(keptas).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, contents) && fsync(fd) == 0;
  if (close(fd) != 0) ok = false;
  if (!ok) (void)unlink(QFile::encodeName(keptas).constData());
  return ok;
}

}  // namespace

bool ReadListFile(const QString& path, QByteArray& contents) {
  return ReadFile(path, contents, ListFileAccess::ReadWrite);
}

QString DamagedCopyPath(const QString& path) {
  const QString base =
      path + QStringLiteral(".damaged-") + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
  QString candidate = base;
  for (int n = 2; QFileInfo::exists(candidate) && n < 1000; ++n) candidate = base + u'-' + QString::number(n);
  return candidate;
}

bool WriteListFile(const QString& path, const QByteArray& contents) {
  QByteArray temporary = QFile::encodeName(path) + ".XXXXXX";
  const int fd = mkstemp(temporary.data());  // created 0600
  if (fd < 0) return false;
  bool ok = WriteAll(fd, contents) && fsync(fd) == 0;
  if (close(fd) != 0) ok = false;
  if (ok) ok = rename(temporary.constData(), QFile::encodeName(path).constData()) == 0;
  // Best effort: the old file is untouched whether or not this succeeds.
  if (!ok) (void)unlink(temporary.constData());
  return ok;
}

ListFileLoad LoadListFile(const QString& path, const ListFileSerializer& serialize, CMessageSeam& messages,
                          std::optional<CArchiveException>* damage, ListFileAccess access) {
  QByteArray contents;
  if (!ReadFile(path, contents, access)) {
    messages.Notice(kCouldNotCreate);
    return ListFileLoad::CouldNotOpen;
  }
  if (contents.isEmpty()) return ListFileLoad::Loaded;  // first start
  CArchive ar(contents);
  try {
    serialize(ar);
    return ListFileLoad::Loaded;
  } catch (const CArchiveException& error) {
    if (damage) damage->emplace(error);
    const QString where = QStringLiteral("The list file %1 is damaged at byte %2; the tasks before that were loaded.")
                              .arg(QDir::toNativeSeparators(path))
                              .arg(error.Offset());
    if (access == ListFileAccess::ReadOnly) {
      messages.Notice(where);
      return ListFileLoad::Damaged;
    }
    QString keptas;
    if (KeepDamagedCopy(path, contents, keptas)) {
      messages.Notice(where + QStringLiteral(" The damaged file is kept as %1.").arg(keptas));
      return ListFileLoad::Damaged;
    }
    messages.Notice(where + QStringLiteral(" It could not be copied aside, so it will not be written over."));
    return ListFileLoad::DamagedNotKept;
  }
}

bool SaveListFile(const QString& path, const ListFileSerializer& serialize, CMessageSeam& messages) {
  CArchive ar;
  serialize(ar);
  if (WriteListFile(path, ar.Bytes())) return true;
  messages.Notice(kCouldNotCreate);
  return false;
}
