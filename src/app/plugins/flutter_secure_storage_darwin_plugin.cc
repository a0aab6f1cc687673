#include "app/plugins/flutter_secure_storage_darwin_plugin.h"

namespace tovanel {

void FlutterSecureStorageDarwinPlugin::registerWithRegistrar(PluginRegistrar& registrar) {
  registrar.publish("flutter_secure_storage_darwin");
}

}  // namespace tovanel
