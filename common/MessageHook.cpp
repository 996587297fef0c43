#include "common/MessageHook.h"

#include <cstdio>
#include <utility>

namespace vantrel {
namespace {

MessageHook& CurrentHook() {
  static MessageHook hook;
  return hook;
}

}  // namespace

MessageHook SetMessageHook(MessageHook hook) { return std::exchange(CurrentHook(), std::move(hook)); }

void ShowMessage(const std::string& message) {
  if (CurrentHook()) {
    CurrentHook()(message);
  } else {
    std::fprintf(stderr, "%s\n", message.c_str());
  }
}

}  // namespace vantrel
