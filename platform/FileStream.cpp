#include "platform/FileStream.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/Paths.h"

namespace kv {

bool TFileStream::CreateExclusive(const std::string &Path) {
  Close();
  const std::string P = ResolvePath(Path);
  const int Fd = ::open(P.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (Fd < 0)
    return false;
  if (::flock(Fd, LOCK_EX | LOCK_NB) != 0 || ::ftruncate(Fd, 0) != 0) {
    ::close(Fd);
    return false;
  }
  FFd = Fd;
  return true;
}

bool TFileStream::Write(const void *Data, size_t Len) {
  if (FFd < 0)
    return false;
  const char *P = static_cast<const char *>(Data);
  while (Len > 0) {
    const ssize_t W = ::write(FFd, P, Len);
    if (W < 0) {
      if (errno == EINTR)
        continue;
      return false;
    }
    P += W;
    Len -= static_cast<size_t>(W);
  }
  return true;
}

void TFileStream::Close() {
  if (FFd >= 0)
    ::close(FFd);
  FFd = -1;
}

}  // namespace kv
