#pragma once
#include <memory>

#include "platform/automation/Dispatch.h"

namespace kv::office {

// A new "word.application": a word processor that builds documents of
// tables and saves them as Rich Text.
std::shared_ptr<IDispatch> CreateWordApplication();

}  // namespace kv::office
