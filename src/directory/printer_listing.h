// Every printer the platform knows, with what the interface offers people to choose from.
#pragma once

#include "codec/value.h"
#include "cups/command.h"
#include "platform/printing_services.h"

namespace tovanel {

// The paper-size queries of this many printers run at once: enough to keep both the tools
// and the scheduler busy, few enough not to flood the scheduler.
inline constexpr size_t kListingConcurrency = 4;

// One PrinterRecord per display name of the platform's list, in its order: "name",
// "isDefault" (the shared settings' printer), "cupsName"; and for a printer that opens
// also "type", "paperWidth" and "paperHeight" (millimetres, unrounded) and "paperSizes"
// (its paper-size query). Reads the queue map once, and runs one paper-size query per
// printer that opens, with `run`, up to `concurrency` of them at once (so `run` must be
// safe on several threads); the records and the diagnostic lines are as one query after
// another would give them. Changes nothing; never fails: every outcome is a list.
ValueList listPrinters(PrintingServices& services, const CommandRunner& run,
                       size_t concurrency = kListingConcurrency);

}  // namespace tovanel
