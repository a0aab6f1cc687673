// Spooling one document to a CUPS queue as a new job, streamed while it is produced.
#pragma once

#include <functional>

#include "imaging/byte_sink.h"
#include "platform/libcups/cups_job_options.h"

namespace tovanel {

// Creates the job on the CUPS server that libcups is configured for, then lets
// `writeDocument` stream the document (of MIME type `format`) into it. True when CUPS
// accepted the whole document. When anything fails after the job exists, the
// connection is dropped mid-document (so no partial document is ever printed) and the
// job is cancelled.
bool spoolCupsJob(const CupsJob& job, const char* format,
                  const std::function<bool(const ByteSink&)>& writeDocument);

}  // namespace tovanel
