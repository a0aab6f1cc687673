#include "channel/set_default_printer.h"

#include "cups/cups_queue_map.h"
#include "messenger/error_codes.h"

namespace tovanel {

void setSystemDefaultPrinter(PrintingServices& services, const CommandRunner& run,
                             const std::string& printerName, ReplyCallback reply) {
  if (const auto printer = services.printerWithName(printerName))
    services.setSharedPrinter(*printer);

  const std::string queue = matchCupsName(printerName, getCupsMapping(run));
  const CommandRequest request{.toolPath = "/usr/bin/lpoptions",
                               .arguments = {"-d", queue},
                               .captureOutput = false,
                               .separateError = false,
                               .waitForExit = true};
  const CommandResult result = run(request);
  if (!result.launched) {
    return reply.error(error_codes::kExecutionFailed, result.launchError
                                                          ? result.launchError->shortMessage()
                                                          : "The tool did not start");
  }
  const std::string failed = "Failed to set system default printer. ";
  // Stopped at the time limit, the tool has no status of its own to report.
  if (result.timedOut)
    return reply.error(error_codes::kShellError, failed + "Timed out: " + describeTimeout(request));
  if (result.exitStatus != 0)
    return reply.error(error_codes::kShellError,
                       failed + "Status: " + std::to_string(result.exitStatus));
  reply.success(true);
}

}  // namespace tovanel
