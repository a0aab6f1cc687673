#include "app/plugins/window_manager_plugin.h"

namespace tovanel {

void WindowManagerPlugin::registerWithRegistrar(PluginRegistrar& registrar) {
  registrar.publish("window_manager");
}

}  // namespace tovanel
