// Every printer the platform knows, with what the interface offers people to choose from.
#pragma once

#include "codec/value.h"
#include "cups/command.h"
#include "platform/printing_services.h"

namespace tovanel {

// One PrinterRecord per display name of the platform's list, in its order: "name",
// "isDefault" (the shared settings' printer), "cupsName"; and for a printer that opens
// also "type", "paperWidth" and "paperHeight" (millimetres, unrounded) and "paperSizes"
// (its paper-size query). Reads the queue map once, and runs one paper-size query per
// printer that opens, with `run`. Changes nothing; never fails: every outcome is a list.
ValueList listPrinters(PrintingServices& services, const CommandRunner& run);

}  // namespace tovanel
