// The five operations behind the printing channel.
#pragma once

#include <functional>
#include <string>

#include "codec/value.h"
#include "jobs/print_job_request.h"
#include "messenger/reply.h"
#include "platform/printing_services.h"

namespace tovanel {

struct ChannelOperations {
  // Replies through the callback, exactly once, before returning.
  std::function<void(const PrintJobRequest&, ReplyCallback)> printImage;
  std::function<ValueList()> listPrinters;
  // Replies through the callback, exactly once, before returning.
  std::function<void(const std::string& printerName, ReplyCallback)> setSystemDefaultPrinter;
  std::function<ValueList(const std::string& printerName)> queryPaperSizes;
  std::function<ValueMap(const std::string& printerName)> printerStatus;
};

// The operations of the host, over `services`, which must outlive them.
ChannelOperations makeChannelOperations(PrintingServices& services);

}  // namespace tovanel
