#include "friendly_output.h"

#include <algorithm>
#include <cstdio>

namespace tovanel::printctl {
namespace {

size_t characterCount(const std::string& text) {
  return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xc0) != 0x80;
  }));
}

std::string millimetres(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.1f", value);
  std::string out = text;
  if (out.ends_with(".0"))
    out.resize(out.size() - 2);
  return out;
}

std::optional<std::string> text(const ValueMap& map, const char* key) {
  const Value* value = findStringKey(map, key);
  const auto* string = value ? value->getIf<std::string>() : nullptr;
  return string ? std::optional<std::string>(*string) : std::nullopt;
}

std::optional<double> number(const ValueMap& map, const char* key) {
  const Value* value = findStringKey(map, key);
  if (!value)
    return std::nullopt;
  if (const auto* d = value->getIf<double>())
    return *d;
  if (const auto* i = value->getIf<int32_t>())
    return *i;
  if (const auto* i = value->getIf<int64_t>())
    return static_cast<double>(*i);
  return std::nullopt;
}

}  // namespace

std::string formatTable(const std::vector<std::vector<std::string>>& rows) {
  std::vector<size_t> widths;
  for (const auto& row : rows) {
    widths.resize(std::max(widths.size(), row.size()));
    for (size_t column = 0; column < row.size(); ++column)
      widths[column] = std::max(widths[column], characterCount(row[column]));
  }
  std::string out;
  for (const auto& row : rows) {
    std::string line;
    for (size_t column = 0; column < row.size(); ++column) {
      if (column)
        line += "  ";
      line += row[column];
      line.append(widths[column] - characterCount(row[column]), ' ');
    }
    while (line.ends_with(' '))
      line.pop_back();
    out += line + "\n";
  }
  return out;
}

std::string paperText(double widthMm, double heightMm) {
  return millimetres(widthMm) + " x " + millimetres(heightMm) + " mm";
}

std::optional<std::string> printerTable(const Value& reply) {
  const auto* printers = reply.getIf<ValueList>();
  if (!printers)
    return std::nullopt;
  if (printers->empty())
    return "No printers.\n";
  std::vector<std::vector<std::string>> rows = {
      {"DEFAULT", "NAME", "QUEUE", "TYPE", "PAPER", "SIZES"}};
  for (const Value& entry : *printers) {
    const auto* printer = entry.getIf<ValueMap>();
    const auto name = printer ? text(*printer, "name") : std::nullopt;
    if (!name)
      return std::nullopt;
    const Value* isDefault = findStringKey(*printer, "isDefault");
    const auto width = number(*printer, "paperWidth");
    const auto height = number(*printer, "paperHeight");
    const Value* sizes = findStringKey(*printer, "paperSizes");
    const auto* sizeList = sizes ? sizes->getIf<ValueList>() : nullptr;
    rows.push_back({isDefault && *isDefault == Value(true) ? "*" : "", *name,
                    text(*printer, "cupsName").value_or("-"), text(*printer, "type").value_or("-"),
                    width && height ? paperText(*width, *height) : "-",
                    sizeList ? std::to_string(sizeList->size()) : "-"});
  }
  return formatTable(rows);
}

std::optional<std::string> paperTable(const std::string& printerName, const Value& reply) {
  const auto* papers = reply.getIf<ValueList>();
  if (!papers)
    return std::nullopt;
  if (papers->empty())
    return "No paper sizes for " + printerName + ".\n";
  std::vector<std::vector<std::string>> rows = {{"PAPER", "SIZE"}};
  for (const Value& entry : *papers) {
    const auto* paper = entry.getIf<ValueMap>();
    const auto name = paper ? text(*paper, "name") : std::nullopt;
    const auto width = paper ? number(*paper, "width") : std::nullopt;
    const auto height = paper ? number(*paper, "height") : std::nullopt;
    if (!name || !width || !height)
      return std::nullopt;
    rows.push_back(
        {*name, *width == 0 && *height == 0 ? "unknown size" : paperText(*width, *height)});
  }
  return formatTable(rows);
}

std::optional<std::string> statusLine(const std::string& printerName, const Value& reply) {
  const auto* record = reply.getIf<ValueMap>();
  const auto status = record ? text(*record, "status") : std::nullopt;
  const auto message = record ? text(*record, "message") : std::nullopt;
  if (!status || !message)
    return std::nullopt;
  return printerName + ": " + *status + " (" + *message + ")\n";
}

}  // namespace tovanel::printctl
