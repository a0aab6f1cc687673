#include "embedding/flutter_view_controller.h"

#include "embedding/journal.h"

namespace tovanel {

FlutterViewController::FlutterViewController() {
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

std::vector<std::string> FlutterViewController::pluginKeys() const {
  std::vector<std::string> keys;
  for (const auto& registrar : registrars_)
    keys.push_back(registrar->key());
  return keys;
}

const PluginRegistrar* FlutterViewController::registrar(const std::string& key) const {
  for (const auto& registrar : registrars_) {
    if (registrar->key() == key)
      return registrar.get();
  }
  return nullptr;
}

}  // namespace tovanel
