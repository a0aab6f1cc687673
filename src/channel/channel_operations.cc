#include "channel/channel_operations.h"

#include <utility>

#include "directory/printer_status.h"
#include "jobs/print_image.h"

namespace tovanel {

ChannelOperations makeChannelOperations(PrintingServices& services) {
  ChannelOperations operations;
  operations.printImage = [&services](const PrintJobRequest& request, ReplyCallback reply) {
    printImage(services, request, std::move(reply));
  };
  operations.printerStatus = [&services](const std::string& printerName) {
    return printerStatus(services, printerName);
  };
  return operations;
}

}  // namespace tovanel
