#include "app/generated_plugin_registrant.h"

#include "app/plugins/connectivity_plus_plugin.h"
#include "app/plugins/flutter_secure_storage_darwin_plugin.h"
#include "app/plugins/package_info_plus_plugin.h"
#include "app/plugins/screen_retriever_macos_plugin.h"
#include "app/plugins/tray_manager_plugin.h"
#include "app/plugins/window_manager_plugin.h"

namespace tovanel {

void registerPlugins(PluginRegistry& registry) {
  ConnectivityPlusPlugin::registerWithRegistrar(
      registry.registrarForPlugin("ConnectivityPlusPlugin"));
  FlutterSecureStorageDarwinPlugin::registerWithRegistrar(
      registry.registrarForPlugin("FlutterSecureStorageDarwinPlugin"));
  FPPPackageInfoPlusPlugin::registerWithRegistrar(
      registry.registrarForPlugin("FPPPackageInfoPlusPlugin"));
  ScreenRetrieverMacosPlugin::registerWithRegistrar(
      registry.registrarForPlugin("ScreenRetrieverMacosPlugin"));
  TrayManagerPlugin::registerWithRegistrar(registry.registrarForPlugin("TrayManagerPlugin"));
  WindowManagerPlugin::registerWithRegistrar(registry.registrarForPlugin("WindowManagerPlugin"));
}

}  // namespace tovanel
