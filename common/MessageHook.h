// A replaceable sink for messages that the core shows to the user and then goes on.
#pragma once

#include <functional>
#include <string>

namespace vantrel {

using MessageHook = std::function<void(const std::string& message)>;

// Replaces the hook; an empty hook restores the default, which prints to standard error.
// Returns the hook that was in place, so a caller (a test) can put it back.
MessageHook SetMessageHook(MessageHook hook);

// Hands one message to the current hook and returns when the hook returns.
void ShowMessage(const std::string& message);

}  // namespace vantrel
