// Stores a customer's details in the registry the way the client keeps them,
// so the demo starts logged on: KorvandelDemoSetup <customer ID> <password>.
// Details already stored stay: a login the user changed in the program is
// theirs, and only a registry without one gets the demo customer.
#include <cstdio>
#include <exception>
#include <string>

#include "client/settings/uUserDetails.h"

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <customer ID> <password>\n", argv[0]);
    return 2;
  }
  try {
    std::string CustomerID, Password;
    ReadUserDetails(CustomerID, Password);
    if (CustomerID.empty() && Password.empty())
      WriteUserDetails(argv[1], argv[2]);
  } catch (const std::exception &E) {
    std::fprintf(stderr, "%s\n", E.what());
    return 1;
  }
  return 0;
}
