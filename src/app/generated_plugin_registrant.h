// Registration of the interface's six plug-ins.
#pragma once

#include "shell/plugin_registrar.h"

namespace tovanel {

// Registers each plug-in, in this order, with the registrar of its key: Connectivity
// Plus, Flutter Secure Storage, Package Info Plus, Screen Retriever, Tray Manager,
// Window Manager.
void registerPlugins(PluginRegistry& registry);

}  // namespace tovanel
