#include "cups/paper_sizes.h"

#include <locale.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string>

#include "text/text.h"

namespace tovanel {
namespace {

constexpr std::array<KnownPaperSize, 23> kKnownPaperSizes{{
    {"A3", {297.0, 420.0}},         {"A4", {210.0, 297.0}},        {"A5", {148.0, 210.0}},
    {"A6", {105.0, 148.0}},         {"B4", {250.0, 353.0}},        {"B5", {176.0, 250.0}},
    {"Letter", {215.9, 279.4}},     {"Legal", {215.9, 355.6}},     {"Tabloid", {279.4, 431.8}},
    {"Executive", {184.15, 266.7}}, {"Statement", {139.7, 215.9}}, {"Folio", {215.9, 330.2}},
    {"4x6", {101.6, 152.4}},        {"w288h432", {101.6, 152.4}},  {"w162h288", {57.15, 101.6}},
    {"w288h360", {101.6, 127.0}},   {"w288h576", {101.6, 203.2}},  {"EnvDL", {110.0, 220.0}},
    {"Env10", {104.78, 241.3}},     {"EnvC5", {162.0, 229.0}},     {"4x6.bl", {101.6, 152.4}},
    {"5x7", {127.0, 177.8}},        {"8x10", {203.2, 254.0}},
}};

// The table's keywords lower-cased, in the table's order.
const std::array<std::string, kKnownPaperSizes.size()>& lowercaseKeywords() {
  static const auto keywords = [] {
    std::array<std::string, kKnownPaperSizes.size()> lowered;
    for (size_t i = 0; i < kKnownPaperSizes.size(); ++i)
      lowered[i] = lowercase(kKnownPaperSizes[i].keyword);
    return lowered;
  }();
  return keywords;
}

// The C locale, whatever the process's locale says, so "." is always the decimal point.
locale_t cLocale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", locale_t{});
  return locale;
}

bool beginsWithBlank(std::string_view text) {
  return std::string_view(" \t\n\v\f\r").find(text.front()) != std::string_view::npos;
}

// The whole of `text` read by strtod; nothing when empty, led by a blank, not read to
// its end, or out of the range of a double.
std::optional<double> readNumber(std::string_view text) {
  if (text.empty() || beginsWithBlank(text))
    return std::nullopt;
  const std::string terminated(text);  // an embedded NUL then ends the reading early
  char* end = nullptr;
  errno = 0;
  const double value = strtod_l(terminated.c_str(), &end, cLocale());
  if (errno == ERANGE || end != terminated.c_str() + terminated.size())
    return std::nullopt;
  return value;
}

}  // namespace

std::span<const KnownPaperSize> knownPaperSizes() {
  return kKnownPaperSizes;
}

PaperDimensions paperSizeDimensions(std::string_view keyword) {
  for (const auto& known : kKnownPaperSizes) {
    if (known.keyword == keyword)
      return known.dimensions;
  }
  const std::string lower = lowercase(keyword);
  for (size_t i = 0; i < kKnownPaperSizes.size(); ++i) {
    if (textEquals(lowercaseKeywords()[i], lower))
      return kKnownPaperSizes[i].dimensions;
  }
  if (!lower.starts_with('w'))
    return {};
  const size_t h = lower.find('h');
  if (h == std::string::npos)
    return {};
  const auto width = readNumber(std::string_view(lower).substr(1, h - 1));
  const auto height = readNumber(std::string_view(lower).substr(h + 1));
  if (!width || !height)
    return {};
  return {pointsToMillimetres(*width), pointsToMillimetres(*height)};
}

}  // namespace tovanel
