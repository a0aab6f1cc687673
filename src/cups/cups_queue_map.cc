#include "cups/cups_queue_map.h"

#include <algorithm>

#include "cups/diagnostics.h"
#include "text/text.h"

namespace tovanel {
namespace {

constexpr std::string_view kPrinterLineStart = "printer ";
constexpr std::string_view kDescriptionMarker = "Description:";
constexpr std::string_view kDescriptionLabel = "\tDescription: ";

// The second space-separated field of a "printer " line; empty when two spaces follow
// "printer".
std::string_view queueOfPrinterLine(std::string_view line) {
  const std::string_view rest = line.substr(kPrinterLineStart.size());
  return rest.substr(0, rest.find(' '));
}

// `line` with every tab-"Description:"-space removed, in one pass from the left.
std::string withoutDescriptionLabels(std::string_view line) {
  std::string result;
  size_t start = 0;
  for (size_t found; (found = line.find(kDescriptionLabel, start)) != std::string_view::npos;
       start = found + kDescriptionLabel.size())
    result.append(line.substr(start, found - start));
  result.append(line.substr(start));
  return result;
}

std::string underscored(std::string_view displayName) {
  std::string name(displayName);
  std::replace(name.begin(), name.end(), ' ', '_');
  return name;
}

}  // namespace

void CupsQueueMap::insertOrReplace(std::string description, std::string queue) {
  const auto [place, inserted] =
      indexByCanonicalKey_.try_emplace(canonicalText(description), entries_.size());
  if (inserted)
    entries_.push_back({std::move(description), std::move(queue)});
  else
    entries_[place->second].queue = std::move(queue);
}

const std::string* CupsQueueMap::find(std::string_view description) const {
  // Keys are trimmed as they are read, so a name is trimmed as it is looked up: a queue
  // described "Trail " is known by that very name.
  const auto place = indexByCanonicalKey_.find(canonicalText(trimWhitespace(description)));
  return place == indexByCanonicalKey_.end() ? nullptr : &entries_[place->second].queue;
}

CupsQueueMap parseCupsQueueMap(std::string_view lpstatOutput) {
  CupsQueueMap map;
  std::string_view currentQueue;
  for (const std::string_view line : splitLines(lpstatOutput)) {
    if (line.starts_with(kPrinterLineStart)) {
      currentQueue = queueOfPrinterLine(line);
    } else if (line.find(kDescriptionMarker) != std::string_view::npos && !currentQueue.empty()) {
      map.insertOrReplace(std::string(trimWhitespace(withoutDescriptionLabels(line))),
                          std::string(currentQueue));
    }
  }
  return map;
}

CupsQueueMap getCupsMapping(const CommandRunner& run) {
  DiagnosticLines printed = DiagnosticLines::printed();
  return getCupsMapping(run, printed);
}

CupsQueueMap getCupsMapping(const CommandRunner& run, DiagnosticLines& diagnostics) {
  const CommandRequest request{.toolPath = "/usr/bin/lpstat",
                               .arguments = {"-lp"},
                               .captureOutput = true,
                               .separateError = false,
                               .waitForExit = false};
  const CommandResult result = run(request);
  if (!result.launched) {
    const std::string description =
        result.launchError ? result.launchError->fullDescription() : "the tool did not start";
    diagnostics.write("Error getting CUPS mapping: " + description);
    return {};
  }
  if (result.timedOut) {
    diagnostics.write("Error getting CUPS mapping: " + describeTimeout(request));
    return {};
  }
  if (!result.outputText)
    return {};
  return parseCupsQueueMap(*result.outputText);
}

std::string resolveCupsName(std::string_view displayName, const CupsQueueMap& map) {
  if (const std::string* queue = map.find(displayName))
    return *queue;
  return underscored(displayName);
}

std::string matchCupsName(std::string_view displayName, const CupsQueueMap& map) {
  if (const std::string* queue = map.find(displayName))
    return *queue;
  const std::string wanted = underscored(displayName);
  const std::string wantedLower = lowercase(wanted);
  for (const auto& entry : map.entries()) {
    if (textEquals(entry.queue, wanted) || textEquals(lowercase(entry.queue), wantedLower))
      return entry.queue;
  }
  return std::string(displayName);
}

}  // namespace tovanel
