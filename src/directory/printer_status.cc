#include "directory/printer_status.h"

namespace tovanel {

ValueMap printerStatus(PrintingServices& services, std::string_view printerName) {
  if (services.printerWithName(printerName)) {
    return {{"status", "online"}, {"message", "Ready"}};
  }
  return {{"status", "offline"}, {"message", "Printer not found"}};
}

}  // namespace tovanel
