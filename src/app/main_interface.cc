#include "app/main_interface.h"

#include <memory>

#include "app/app_delegate.h"
#include "app/main_flutter_window.h"

namespace tovanel {

void loadMainInterface(Application& application, PrintingServices& services) {
  application.setDelegate(std::make_unique<AppDelegate>(application, services));
  auto window = std::make_unique<MainFlutterWindow>(kMainWindowContentRect, kMainWindowStyle,
                                                    BackingStore::buffered, false);
  window->title = kMainWindowTitle;
  application.addWindow(std::move(window));
}

}  // namespace tovanel
