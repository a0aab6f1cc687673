#include "platform/libcups/cups_job_options.h"

#include <charconv>
#include <cstdint>
#include <limits>

namespace tovanel {
namespace {

std::string shortest(double value) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

// At most `limit` bytes, cut before a UTF-8 continuation byte, never inside a character.
std::string cutUtf8(const std::string& text, size_t limit) {
  if (text.size() <= limit)
    return text;
  size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xc0) == 0x80)
    --end;
  return text.substr(0, end);
}

}  // namespace

std::string customPageSize(const PaperSize& page) {
  return "Custom." + shortest(page.width) + "x" + shortest(page.height);
}

std::optional<CupsJob> cupsJobFor(const PrintJobSettings& settings, const MediaChoice& media) {
  const int64_t copies = settings.copiesAttribute;
  if (copies < std::numeric_limits<int32_t>::min() || copies > std::numeric_limits<int32_t>::max())
    return std::nullopt;
  CupsJob job;
  job.queue = settings.printer.destination;
  job.title = cutUtf8(settings.jobTitle, kLongestJobTitle);
  job.options = {
      media.medium
          ? std::pair<std::string, std::string>{"media", media.medium->name}
          : std::pair<std::string, std::string>{"PageSize", customPageSize(settings.paperSize)},
      {"print-scaling", "none"},
      {"nopdfAutoRotate", "true"},
      {"copies", std::to_string(copies)},
  };
  return job;
}

}  // namespace tovanel
