// A module with one entry point, loaded by the tests.
extern "C" __attribute__((visibility("default"))) int ProbeAnswer() { return 42; }
