// Plug-in registration: a registry hands each plug-in, by its key, the registrar
// through which it reaches the engine.
#pragma once

#include <optional>
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

  // What the plug-in makes known about itself, for whoever holds the registry.
  void publish(std::string value) {
    journal("PluginRegistrar " + key_ + " publish " + value);
    published_ = std::move(value);
  }
  const std::optional<std::string>& published() const { return published_; }

 private:
  std::string key_;
  BinaryMessenger& messenger_;
  std::optional<std::string> published_;
};

class PluginRegistry {
 public:
  virtual ~PluginRegistry() = default;
  // The registrar for the plug-in of `key`, created on the first request; it lives as
  // long as the registry.
  virtual PluginRegistrar& registrarForPlugin(const std::string& key) = 0;
};

}  // namespace tovanel
