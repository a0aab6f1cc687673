// Plug-in registration: a registry hands each plug-in, by its key, the registrar
// through which it reaches the engine.
#pragma once

#include <string>

#include "messenger/binary_messenger.h"
#include "shell/journal.h"

namespace tovanel {

class PluginRegistrar {
 public:
  PluginRegistrar(std::string key, BinaryMessenger& messenger)
      : key_(std::move(key)), messenger_(messenger) {}
  PluginRegistrar(const PluginRegistrar&) = delete;
  PluginRegistrar& operator=(const PluginRegistrar&) = delete;

  const std::string& key() const { return key_; }
  BinaryMessenger& messenger() { return messenger_; }

  // What the plug-in makes known about itself, recorded in the start-up journal.
  void publish(const std::string& value) {
    journal("PluginRegistrar " + key_ + " publish " + value);
  }

 private:
  std::string key_;
  BinaryMessenger& messenger_;
};

class PluginRegistry {
 public:
  virtual ~PluginRegistry() = default;
  // The registrar for the plug-in of `key`, created on the first request; it lives as
  // long as the registry.
  virtual PluginRegistrar& registrarForPlugin(const std::string& key) = 0;
};

}  // namespace tovanel
