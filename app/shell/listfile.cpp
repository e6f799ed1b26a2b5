#include "shell/listfile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "shell/messageseam.h"

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

}  // namespace

bool ReadListFile(const QString& path, QByteArray& contents) {
  const QByteArray name = QFile::encodeName(path);
  const int fd = open(name.constData(), O_RDONLY | O_CREAT | O_CLOEXEC, 0600);
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
                          std::optional<CArchiveException>* damage) {
  QByteArray contents;
  if (!ReadListFile(path, contents)) {
    messages.Notice(kCouldNotCreate);
    return ListFileLoad::CouldNotOpen;
  }
  if (contents.isEmpty()) return ListFileLoad::Loaded;  // first start
  CArchive ar(std::move(contents));
  try {
    serialize(ar);
  } catch (const CArchiveException& error) {
    if (damage) damage->emplace(error);
    return ListFileLoad::Damaged;
  }
  return ListFileLoad::Loaded;
}

bool SaveListFile(const QString& path, const ListFileSerializer& serialize, CMessageSeam& messages) {
  CArchive ar;
  serialize(ar);
  if (WriteListFile(path, ar.Bytes())) return true;
  messages.Notice(kCouldNotCreate);
  return false;
}
