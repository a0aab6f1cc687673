#include "imaging/svg_picture_budget.h"

#include <glib.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "imaging/svg_document.h"

namespace tovanel {
namespace {

// The text with numeric character references ("&#100;", "&#x64;") of ASCII read, so that an
// address written with them is seen as librsvg's XML parser sees it.
std::string withCharacterReferences(std::string_view text) {
  std::string read;
  read.reserve(text.size());
  for (size_t at = 0; at < text.size(); ++at) {
    const size_t end = text.find(';', at);
    if (text.substr(at, 2) == "&#" && end != std::string_view::npos && end - at < 12) {
      const bool hex = at + 2 < end && (text[at + 2] == 'x' || text[at + 2] == 'X');
      const std::string digits(text.substr(at + (hex ? 3 : 2), end - at - (hex ? 3 : 2)));
      char* stop = nullptr;
      const long code = std::strtol(digits.c_str(), &stop, hex ? 16 : 10);
      if (!digits.empty() && *stop == '\0' && code > 0 && code < 128) {
        read += static_cast<char>(code);
        at = end;
        continue;
      }
    }
    read += text[at];
  }
  return read;
}

// The bytes of a data address's content: base64 or percent-encoded.
std::vector<uint8_t> contentOf(std::string_view header, std::string_view content) {
  std::string lower(header);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  std::string text;
  for (size_t at = 0; at < content.size(); ++at) {
    if (content[at] == '%' && at + 2 < content.size() && std::isxdigit(uint8_t(content[at + 1])) &&
        std::isxdigit(uint8_t(content[at + 2]))) {
      text += static_cast<char>(std::stoi(std::string(content.substr(at + 1, 2)), nullptr, 16));
      at += 2;
    } else if (!std::isspace(uint8_t(content[at]))) {
      text += content[at];
    }
  }
  if (lower.find(";base64") == std::string::npos)
    return std::vector<uint8_t>(text.begin(), text.end());
  gsize size = 0;
  const std::unique_ptr<guchar, decltype(&g_free)> bytes(g_base64_decode(text.c_str(), &size),
                                                         g_free);
  return std::vector<uint8_t>(bytes.get(), bytes.get() + size);
}

bool withinBudget(std::string_view drawing, const ImageLimits& limits, int depth) {
  if (drawing.find("<!ENTITY") != std::string_view::npos)
    return false;
  const std::string text = withCharacterReferences(drawing);
  std::string lower = text;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (size_t at = lower.find("data:"); at != std::string::npos; at = lower.find("data:", at + 5)) {
    // An address starts an attribute's value or CSS's url(); "data:" in text is no address.
    const size_t before = text.find_last_not_of(" \t\r\n", at == 0 ? 0 : at - 1);
    if (at == 0 || before == std::string::npos ||
        std::string_view("'\"(").find(text[before]) == std::string_view::npos)
      continue;
    const size_t end = std::min(text.find_first_of("'\"()<>", at), text.size());
    const size_t comma = text.find(',', at);
    if (comma >= end)
      continue;  // not an address with content
    const auto content = contentOf(std::string_view(text).substr(at, comma - at),
                                   std::string_view(text).substr(comma + 1, end - comma - 1));
    if (!imageLoaderFor(content).empty()) {
      if (decodeImageBytes(content, limits).failure == ImageDecodeFailure::tooLarge)
        return false;
    } else if (!looksLikeSvg(content) || depth > 0 ||
               !withinBudget({reinterpret_cast<const char*>(content.data()), content.size()},
                             limits, depth + 1)) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool embeddedPicturesWithinBudget(std::string_view drawing, const ImageLimits& limits) {
  return withinBudget(drawing, limits, 0);
}

}  // namespace tovanel
