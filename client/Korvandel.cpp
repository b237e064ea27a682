// The launcher: changes to its own folder and starts the client there with
// the launcher switch after the user's arguments (so a debug switch given to
// the launcher stays the client's first argument).
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

int main(int argc, char **argv) {
  char Self[PATH_MAX];
  const ssize_t Len = readlink("/proc/self/exe", Self, sizeof(Self) - 1);
  if (Len <= 0) {
    std::perror("Korvandel");
    return 1;
  }
  Self[Len] = 0;
  std::string Folder(Self);
  Folder.erase(Folder.rfind('/') + 1);
  if (chdir(Folder.c_str()) != 0) {
    std::perror("Korvandel");
    return 1;
  }
  const std::string Program = Folder + "KorvandelEx";
  std::vector<char *> Args;
  Args.push_back(const_cast<char *>(Program.c_str()));
  for (int I = 1; I < argc; ++I)
    Args.push_back(argv[I]);
  static char Switch[] = "QZBOOTSTRAPPED";
  Args.push_back(Switch);
  Args.push_back(nullptr);
  execv(Program.c_str(), Args.data());
  std::fprintf(stderr, "Korvandel: cannot start %s: %s\n", Program.c_str(), std::strerror(errno));
  return 1;
}
