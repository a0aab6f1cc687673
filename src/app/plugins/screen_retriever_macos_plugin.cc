#include "app/plugins/screen_retriever_macos_plugin.h"

namespace tovanel {

void ScreenRetrieverMacosPlugin::registerWithRegistrar(PluginRegistrar& registrar) {
  registrar.publish("screen_retriever_macos");
}

}  // namespace tovanel
