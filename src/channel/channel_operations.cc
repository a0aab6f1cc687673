#include "channel/channel_operations.h"

#include "directory/printer_status.h"

namespace tovanel {

ChannelOperations makeChannelOperations(PrintingServices& services) {
  ChannelOperations operations;
  operations.printerStatus = [&services](const std::string& printerName) {
    return printerStatus(services, printerName);
  };
  return operations;
}

}  // namespace tovanel
