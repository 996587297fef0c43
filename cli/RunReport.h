// What a run or a dry run did, as vantrel-sync prints it: log lines as they come, or one JSON
// object at the end.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "engine/RunExecutor.h"
#include "engine/RunSummary.h"

namespace vantrel::cli {

// The line a run writes for a done action, in the result log's words; empty for an action
// that is not listed (a folder made for the files copied into it). `toTrash`: removals move the
// entry to the trash.
std::string ActionLine(const RunAction& action, bool toTrash);

// The action as a JSON object, or null for one that is not listed.
nlohmann::json ActionJson(const RunAction& action);

struct ReportHeader {
  std::string project;  // the display name
  std::string file;
  bool dryRun = false;
};

// The final object: the header, the summary's counts, the actions and the log lines.
// `removalsListed` false: a dry run whose removals would all be answered "No to all".
nlohmann::json ReportJson(const ReportHeader& header, const RunSummary& summary,
                          nlohmann::json actions, nlohmann::json log, bool removalsListed);

}  // namespace vantrel::cli
