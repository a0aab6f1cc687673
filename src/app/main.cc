// Process entry of printing_host.
#include <cstdlib>
#include <optional>

#include "app/main_interface.h"
#include "platform/libcups/cups_printing_services.h"

int main(int argc, char** argv) {
  // The platform's printing system: one for the process, as it holds the shared settings.
  // It is made when the interface loads, so that --help asks nothing of CUPS.
  std::optional<tovanel::CupsPrintingServices> services;
  std::exit(tovanel::applicationMain(argc, argv, [&services](tovanel::Application& application) {
    tovanel::loadMainInterface(application, services.emplace());
  }));
}
