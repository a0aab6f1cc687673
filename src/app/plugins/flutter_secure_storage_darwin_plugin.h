// Stand-in for the flutter_secure_storage_darwin plug-in: it registers under its key and opens no
// channel, so the interface's calls to it find no handler.
#pragma once

#include "shell/plugin_registrar.h"

namespace tovanel {

class FlutterSecureStorageDarwinPlugin {
 public:
  static void registerWithRegistrar(PluginRegistrar& registrar);
};

}  // namespace tovanel
