#include "jobs/print_image.h"

#include "jobs/job_settings.h"

namespace tovanel {

void printImage(PrintingServices& services, const PrintJobRequest& request, ReplyCallback reply) {
  // A name made of blanks is a name, and is looked up as it is.
  const std::string printerName =
      request.printerName.empty() ? services.sharedPrinter().name : request.printerName;
  const auto printer = services.printerWithName(printerName);
  if (!printer)
    return reply.error("PRINTER_NOT_FOUND", "Printer '" + printerName + "' not found");

  const auto image = services.decodeImage(request.imageBytes);
  if (!image)
    return reply.error("IMAGE_INVALID", "Failed to create image");

  const PrintJobSettings settings = makePrintJobSettings(*printer, request);
  if (!services.runPrintOperation(settings, *image))
    return reply.error("PRINT_FAILED", "Print operation failed to start");

  reply.success(ValueMap{{"status", "success"}, {"jobName", request.jobName}});
}

}  // namespace tovanel
