// "printDocument": one image printed silently on a named printer.
#pragma once

#include "jobs/print_job_request.h"
#include "messenger/reply.h"
#include "platform/printing_services.h"

namespace tovanel {

// Prints the request's image on the printer of that display name (the shared settings'
// printer, by its queue, when the name is empty), with no panels, and answers `reply`
// exactly once before returning: {"status": "success", "jobName": ...} once the job has
// reached the print system, else "PRINTER_NOT_FOUND" (decided before the image is looked
// at), "IMAGE_INVALID" or "PRINT_FAILED" (with the platform's reason where it gives one).
// Writes nothing to the diagnostic output.
void printImage(PrintingServices& services, const PrintJobRequest& request, ReplyCallback reply);

}  // namespace tovanel
