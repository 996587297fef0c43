#include "tests/core/HomeIsolation.h"

namespace {
::testing::Environment* const isolation =
    ::testing::AddGlobalTestEnvironment(new vantrel::test::HomeIsolation);
}  // namespace
