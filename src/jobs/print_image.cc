#include "jobs/print_image.h"

#include "jobs/job_settings.h"
#include "messenger/error_codes.h"

namespace tovanel {

void printImage(PrintingServices& services, const PrintJobRequest& request, ReplyCallback reply) {
  const bool current = request.printerName.empty();
  const Printer shared = current ? services.sharedPrinter() : Printer{};
  // A name made of blanks is a name, and is looked up as it is.
  const std::string& printerName = current ? shared.name : request.printerName;
  auto printer = services.printerWithName(printerName);
  if (!printer)
    return reply.error(error_codes::kPrinterNotFound, "Printer '" + printerName + "' not found");
  // The current printer is held by its queue, which its name alone may not tell.
  if (current)
    printer = shared;

  const auto image = services.decodeImage(request.imageBytes);
  if (!image)
    return reply.error(error_codes::kImageInvalid, "Failed to create image");

  const PrintJobSettings settings = makePrintJobSettings(*printer, request);
  const PrintOutcome outcome = services.runPrintOperation(settings, *image);
  if (!outcome.printed) {
    return reply.error(error_codes::kPrintFailed,
                       outcome.reason.empty() ? "Print operation failed to start" : outcome.reason);
  }
  reply.success(ValueMap{{"status", "success"}, {"jobName", request.jobName}});
}

}  // namespace tovanel
