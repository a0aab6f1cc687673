// The view controller that shows the Flutter interface: it owns the engine and is the
// registry of the interface's plug-ins.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "shell/flutter_engine.h"
#include "shell/plugin_registrar.h"
#include "shell/window.h"

namespace tovanel {

class FlutterViewController final : public ViewController, public PluginRegistry {
 public:
  // With an engine that runs the interface over `messenger`, which must outlive it.
  explicit FlutterViewController(BinaryMessenger& messenger);

  FlutterEngine& engine() { return engine_; }

  Size preferredContentSize() const override;
  PluginRegistrar& registrarForPlugin(const std::string& key) override;

 private:
  FlutterEngine engine_;
  std::vector<std::unique_ptr<PluginRegistrar>> registrars_;
};

}  // namespace tovanel
