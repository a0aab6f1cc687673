#include "app/plugins/tray_manager_plugin.h"

namespace tovanel {

void TrayManagerPlugin::registerWithRegistrar(PluginRegistrar& registrar) {
  registrar.publish("tray_manager");
}

}  // namespace tovanel
