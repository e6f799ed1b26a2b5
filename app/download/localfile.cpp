#include "localfile.h"

#include <fcntl.h>
#include <cerrno>

int OpenFreshLocalFile(const QByteArray& path, bool& created) {
  const int flags = O_WRONLY | O_NOFOLLOW | O_CLOEXEC;
  int fd = open(path.constData(), flags | O_CREAT | O_EXCL, 0644);
  if (fd >= 0) {
    created = true;
    return fd;
  }
  if (errno != EEXIST) return -1;
  fd = open(path.constData(), flags);
  return fd;
}
