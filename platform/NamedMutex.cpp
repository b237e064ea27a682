#include "platform/NamedMutex.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/SysUtils.h"

namespace kv {

std::string RuntimeFolder() {
  const char *x = std::getenv("XDG_RUNTIME_DIR");
  std::string dir = (x && *x) ? std::string(x) + "/korvandel" : Format("/tmp/korvandel-%u", static_cast<unsigned>(getuid()));
  mkdir(dir.c_str(), 0700);
  // The folder holds locks and sockets that other users must not reach, so
  // one that someone else made is not used.
  struct stat st;
  if (lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid())
    throw EInOutError(Format("The runtime folder %s is not a private folder of this user", dir.c_str()));
  if ((st.st_mode & 077) != 0)
    chmod(dir.c_str(), 0700);
  return dir;
}

// A file name for any mutex name: "\" (as in "Local\x") and other bytes
// outside a safe set are written as %HH.
static std::string FileNameFor(const std::string &Name) {
  std::string out;
  for (unsigned char c : Name) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
        c == '.')
      out += static_cast<char>(c);
    else
      out += Format("%%%02X", c);
  }
  return "mutex-" + out + ".lock";
}

TNamedMutex::TNamedMutex(const std::string &Name) {
  FPath = RuntimeFolder() + "/" + FileNameFor(Name);
  FFd = open(FPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
}

TNamedMutex::~TNamedMutex() {
  Release();
  if (FFd >= 0)
    close(FFd);
}

bool TNamedMutex::Wait(unsigned TimeoutMs) {
  if (FFd < 0)
    return false;
  if (FHeld)
    return true;
  struct timespec start;
  clock_gettime(CLOCK_MONOTONIC, &start);
  for (;;) {
    if (flock(FFd, LOCK_EX | LOCK_NB) == 0) {
      FHeld = true;
      return true;
    }
    if (errno != EWOULDBLOCK && errno != EINTR)
      return false;
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    long long elapsed = ((now.tv_sec - start.tv_sec) * 1000000000LL + (now.tv_nsec - start.tv_nsec)) / 1000000;
    if (elapsed >= static_cast<long long>(TimeoutMs))
      return false;
    long long left = static_cast<long long>(TimeoutMs) - elapsed;
    struct timespec nap = {0, static_cast<long>((left < 10 ? left : 10) * 1000000)};
    nanosleep(&nap, nullptr);
  }
}

void TNamedMutex::Release() {
  if (FHeld && FFd >= 0)
    flock(FFd, LOCK_UN);
  FHeld = false;
}

}  // namespace kv
