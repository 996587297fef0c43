// The owning descriptor moved to common/, where the storage may use it as well. This path
// stays only while engine files still include it by it.
#pragma once

#include "common/UniqueFd.h"
