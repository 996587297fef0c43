// Fixed texts that the passes write to the log or only to the progress notification.
#pragma once

#include <string>

namespace vantrel {

extern const std::string kCheckingFiles;     // progress only
extern const std::string kTerminatedByUser;  // log and progress

}  // namespace vantrel
