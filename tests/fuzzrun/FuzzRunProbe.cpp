// A fuzz target that does nothing: the runner's tests start it only to read
// what the sanitizer says of the options it was given.
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *, size_t) { return 0; }
