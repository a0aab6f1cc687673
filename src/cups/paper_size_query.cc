#include "cups/paper_size_query.h"

#include <algorithm>

#include "cups/cups_queue_map.h"
#include "cups/paper_sizes.h"
#include "text/text.h"

namespace tovanel {
namespace {

// The first page-size line; no later line counts, even when this one lists nothing.
std::optional<std::string_view> optionLine(std::string_view output) {
  for (const std::string_view line : splitLines(output)) {
    if (line.starts_with("PageSize") || line.starts_with("MediaSize"))
      return line;
  }
  return std::nullopt;
}

}  // namespace

std::vector<std::string> parsePaperSizeKeywords(std::string_view lpoptionsOutput) {
  const auto line = optionLine(lpoptionsOutput);
  if (!line)
    return {};
  const size_t firstColon = line->find(':');
  if (firstColon == std::string_view::npos)
    return {};
  // Only the text between the first and the second colon lists sizes.
  std::string_view choices = line->substr(firstColon + 1);
  choices = choices.substr(0, choices.find(':'));

  std::vector<std::string> keywords;
  for (const std::string_view token : splitAtWhitespace(trimWhitespace(choices))) {
    std::string keyword(token);
    keyword.erase(std::remove(keyword.begin(), keyword.end(), '*'), keyword.end());
    if (!keyword.empty())
      keywords.push_back(std::move(keyword));
  }
  return keywords;
}

ValueList paperSizeEntries(const std::vector<std::string>& keywords) {
  ValueList entries;
  entries.reserve(keywords.size());
  for (const auto& keyword : keywords) {
    const PaperDimensions dimensions = paperSizeDimensions(keyword);
    entries.emplace_back(
        ValueMap{{"name", keyword}, {"width", dimensions.width}, {"height", dimensions.height}});
  }
  return entries;
}

ValueList queryPaperSizes(const CommandRunner& run, std::string_view displayName) {
  DiagnosticLines printed = DiagnosticLines::printed();
  return queryPaperSizes(run, displayName, printed);
}

ValueList queryPaperSizes(const CommandRunner& run, std::string_view displayName,
                          DiagnosticLines& diagnostics) {
  const std::string queue = resolveCupsName(displayName, getCupsMapping(run, diagnostics));
  const CommandRequest request{.toolPath = "/usr/bin/lpoptions",
                               .arguments = {"-p", queue, "-l"},
                               .captureOutput = true,
                               .separateError = true,
                               .waitForExit = true};
  const CommandResult result = run(request);
  const std::string prefix = "Error querying paper sizes for " + std::string(displayName) + ": ";
  if (!result.launched) {
    diagnostics.write(prefix + (result.launchError ? result.launchError->fullDescription()
                                                   : "the tool did not start"));
    return {};
  }
  if (result.timedOut) {
    diagnostics.write(prefix + describeTimeout(request));
    return {};
  }
  if (!result.outputText)
    return {};
  return paperSizeEntries(parsePaperSizeKeywords(*result.outputText));
}

}  // namespace tovanel
