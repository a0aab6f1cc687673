// Text for people from the replies of the friendly verbs. Each gives nothing when a
// reply is not of the expected shape; the caller then shows the reply as JSON.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "codec/value.h"

namespace tovanel::printctl {

// Columns padded to their widest cell (counted in characters), two spaces apart.
std::string formatTable(const std::vector<std::vector<std::string>>& rows);

// "101.6 x 152.4 mm": at most one decimal, none when it is zero.
std::string paperText(double widthMm, double heightMm);

// From "printerlist": one row per printer, the default marked with "*".
std::optional<std::string> printerTable(const Value& reply);

// From "getPaperSizes".
std::optional<std::string> paperTable(const std::string& printerName, const Value& reply);

// From "getPrinterStatus": "NAME: online (Ready)".
std::optional<std::string> statusLine(const std::string& printerName, const Value& reply);

}  // namespace tovanel::printctl
