#include "app/plugins/connectivity_plus_plugin.h"

namespace tovanel {

void ConnectivityPlusPlugin::registerWithRegistrar(PluginRegistrar& registrar) {
  registrar.publish("connectivity_plus");
}

}  // namespace tovanel
