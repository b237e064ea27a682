// Stores a customer's details in the registry the way the client keeps them,
// so the demo starts logged on: KorvandelDemoSetup <customer ID> <password>.
#include <cstdio>
#include <exception>

#include "client/settings/uUserDetails.h"

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <customer ID> <password>\n", argv[0]);
    return 2;
  }
  try {
    WriteUserDetails(argv[1], argv[2]);
  } catch (const std::exception &E) {
    std::fprintf(stderr, "%s\n", E.what());
    return 1;
  }
  return 0;
}
