#include "shell/flutter_view_controller.h"

#include "shell/journal.h"

namespace tovanel {

FlutterViewController::FlutterViewController(BinaryMessenger& messenger) : engine_(messenger) {
  journal("FlutterViewController init");
}

Size FlutterViewController::preferredContentSize() const {
  return {1280, 720};
}

PluginRegistrar& FlutterViewController::registrarForPlugin(const std::string& key) {
  journal("FlutterViewController registrarForPlugin " + key);
  for (auto& registrar : registrars_) {
    if (registrar->key() == key)
      return *registrar;
  }
  return *registrars_.emplace_back(
      std::make_unique<PluginRegistrar>(key, engine_.binaryMessenger()));
}

}  // namespace tovanel
