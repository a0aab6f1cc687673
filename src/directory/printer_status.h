// Whether the platform can open a printer, as the interface wants to hear it.
#pragma once

#include <string_view>

#include "codec/value.h"
#include "platform/printing_services.h"

namespace tovanel {

// {"status": "online", "message": "Ready"} when a printer of exactly that display name
// opens, else {"status": "offline", "message": "Printer not found"}. Never an error.
ValueMap printerStatus(PrintingServices& services, std::string_view printerName);

}  // namespace tovanel
