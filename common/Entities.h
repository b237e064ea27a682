#pragma once
// What ReplaceEnumeratedChars gives, without the zero-length sleep it begins
// with: for the project's own callers that decode a text per offer and have
// given up the processor for that offer already. Not exported.
#include <string>

std::string DecodeEntities(const std::string &Text);
