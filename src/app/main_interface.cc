#include "app/main_interface.h"

#include <memory>

#include "app/app_delegate.h"
#include "app/main_flutter_window.h"
#include "platform/libcups/cups_printing_services.h"

namespace tovanel {

void loadMainInterface(Application& application, PrintingServices& services) {
  application.setDelegate(std::make_unique<AppDelegate>(services));
  auto window = std::make_unique<MainFlutterWindow>(kMainWindowContentRect, kMainWindowStyle,
                                                    BackingStore::buffered, false);
  window->title = kMainWindowTitle;
  application.addWindow(std::move(window));
}

void loadHostMainInterface(Application& application) {
  // Process-wide, as the platform's printing system is: it holds the shared settings.
  static CupsPrintingServices services;
  loadMainInterface(application, services);
}

}  // namespace tovanel
