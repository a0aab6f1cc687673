#include "app/plugins/package_info_plus_plugin.h"

namespace tovanel {

void FPPPackageInfoPlusPlugin::registerWithRegistrar(PluginRegistrar& registrar) {
  registrar.publish("package_info_plus");
}

}  // namespace tovanel
