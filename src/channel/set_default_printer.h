// Making a printer the application's current printer and the CUPS default destination.
#pragma once

#include <string>

#include "cups/command.h"
#include "messenger/reply.h"
#include "platform/printing_services.h"

namespace tovanel {

// When the platform knows `printerName`, makes it the shared settings' printer first
// (kept whatever follows). Then runs `/usr/bin/lpoptions -d QUEUE` through `run`, its
// output and errors going to the host's own streams, the queue by the default-printer
// naming rule. Answers `reply` once before returning: true for exit status 0;
// "SHELL_ERROR" with the status for any other, or saying that the tool timed out;
// "EXECUTION_FAILED" with the launch error's short message when the tool does not start.
void setSystemDefaultPrinter(PrintingServices& services, const CommandRunner& run,
                             const std::string& printerName, ReplyCallback reply);

}  // namespace tovanel
