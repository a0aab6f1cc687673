// The CUPS destinations the server offers, read afresh on every call, as printers.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "platform/print_job_settings.h"

namespace tovanel {

struct CupsDestination {
  Printer printer;
  bool isDefault = false;
};

// Every destination of the CUPS server (instances excluded), in the order libcups gives
// them. Empty when the server cannot be reached.
std::vector<CupsDestination> readCupsDestinations();

// The first destination whose display name equals `name` under the host's text equality.
std::optional<Printer> findCupsPrinter(const std::vector<CupsDestination>& destinations,
                                       std::string_view name);

}  // namespace tovanel
