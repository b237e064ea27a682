#pragma once
#include "platform/LateBound.h"

namespace kv::office {

// A new "word.application": a word processor that builds documents of
// tables and saves them as Rich Text.
TAutoRef CreateWordApplication();

}  // namespace kv::office
