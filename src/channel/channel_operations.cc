#include "channel/channel_operations.h"

#include <utility>

#include "channel/set_default_printer.h"
#include "cups/command.h"
#include "cups/paper_size_query.h"
#include "directory/printer_listing.h"
#include "directory/printer_status.h"
#include "jobs/print_image.h"

namespace tovanel {

ChannelOperations makeChannelOperations(PrintingServices& services) {
  ChannelOperations operations;
  operations.printImage = [&services](const PrintJobRequest& request, ReplyCallback reply) {
    printImage(services, request, std::move(reply));
  };
  operations.listPrinters = [&services] { return listPrinters(services, runCommand); };
  operations.setSystemDefaultPrinter = [&services](const std::string& printerName,
                                                   ReplyCallback reply) {
    setSystemDefaultPrinter(services, runCommand, printerName, std::move(reply));
  };
  operations.queryPaperSizes = [](const std::string& printerName) {
    return queryPaperSizes(runCommand, printerName);
  };
  operations.printerStatus = [&services](const std::string& printerName) {
    return printerStatus(services, printerName);
  };
  return operations;
}

}  // namespace tovanel
