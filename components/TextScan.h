#pragma once
// A quick look for a few special bytes in a text, for the exports that must
// quote or escape the rare field that holds one and copy all others as they
// are.
#include <string>

namespace kv {

// Whether Text holds any of the four bytes A, B, C and D.
bool HasAnyByte(const std::string &Text, char A, char B, char C, char D);

}  // namespace kv
