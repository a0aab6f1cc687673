// The printers the CUPS server offers, read afresh on every call.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "platform/print_job_settings.h"

namespace tovanel {

// Every queue of the CUPS server, in the server's order; nothing when the server cannot
// be reached. One request for the three attributes a printer needs, so that a listing
// that looks up each of 50 printers stays cheap.
std::optional<std::vector<Printer>> readCupsPrinters();

// The last printer whose display name equals `name` under the host's text equality.
std::optional<Printer> findCupsPrinter(const std::vector<Printer>& printers, std::string_view name);

// The user's default destination as libcups resolves it (LPDEST, PRINTER, lpoptions,
// then the server's default), or nothing when there is none.
std::optional<Printer> readCupsDefaultPrinter();

}  // namespace tovanel
