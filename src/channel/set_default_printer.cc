#include "channel/set_default_printer.h"

#include "cups/cups_queue_map.h"

namespace tovanel {

void setSystemDefaultPrinter(PrintingServices& services, const CommandRunner& run,
                             const std::string& printerName, ReplyCallback reply) {
  if (const auto printer = services.printerWithName(printerName))
    services.setSharedPrinter(*printer);

  const std::string queue = matchCupsName(printerName, getCupsMapping(run));
  const CommandResult result = run({.toolPath = "/usr/bin/lpoptions",
                                    .arguments = {"-d", queue},
                                    .captureOutput = false,
                                    .separateError = false,
                                    .waitForExit = true});
  if (!result.launched) {
    return reply.error("EXECUTION_FAILED", result.launchError ? result.launchError->shortMessage()
                                                              : "The tool did not start");
  }
  // A tool stopped at the time limit was killed: its status is the signal's number.
  if (result.exitStatus != 0) {
    return reply.error("SHELL_ERROR", "Failed to set system default printer. Status: " +
                                          std::to_string(result.exitStatus));
  }
  reply.success(true);
}

}  // namespace tovanel
