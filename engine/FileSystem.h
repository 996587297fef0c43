// The file-system seam moved to common/, where the storage may reach it as well. This path
// stays only while engine files still include the seam by it.
#pragma once

#include "common/FileSystem.h"
