// The CUPS job that prints a page exactly as drawn: its queue, title and options.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/libcups/media_choice.h"
#include "platform/print_job_settings.h"

namespace tovanel {

struct CupsJob {
  std::string queue;
  std::string title;
  std::vector<std::pair<std::string, std::string>> options;  // in the order sent

  friend bool operator==(const CupsJob&, const CupsJob&) = default;
};

// IPP names hold at most this many bytes; CUPS replaces a longer title with "Untitled".
inline constexpr size_t kLongestJobTitle = 255;

// "Custom.<W>x<H>", in points, each the shortest text that reads back as the same double.
std::string customPageSize(const PaperSize& page);

// The job for `settings` on `media`: the medium by its name, or the page as a custom
// size in points; no scaling and no automatic rotation (the page is drawn the right way
// up, so no orientation is sent); the copies; and the title cut to what IPP holds.
// Nothing when the copies are more than an IPP integer holds (CUPS would silently wrap
// them); copies of 0 or less go on, for CUPS to refuse. Needs a printable page.
std::optional<CupsJob> cupsJobFor(const PrintJobSettings& settings, const MediaChoice& media);

}  // namespace tovanel
