#include "app/main_flutter_window.h"

#include <memory>

#include "app/generated_plugin_registrant.h"
#include "shell/application.h"
#include "shell/flutter_view_controller.h"

namespace tovanel {

MainFlutterWindow::MainFlutterWindow(Rect contentRect, unsigned styleMask, BackingStore backing,
                                     bool defer)
    : Window(contentRect, styleMask, backing, defer) {}

void MainFlutterWindow::awakeFromNib() {
  // The window is the application's, whose messenger the interface runs over.
  auto created = std::make_unique<FlutterViewController>(application()->messenger());
  FlutterViewController& flutterViewController = *created;
  const Rect windowFrame = frame();
  setContentViewController(std::move(created));
  // The controller sized the window to its view; the interface's frame wins.
  setFrame(windowFrame, true);
  registerPlugins(flutterViewController);
  Window::awakeFromNib();
}

}  // namespace tovanel
