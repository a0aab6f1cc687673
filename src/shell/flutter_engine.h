// The Flutter engine stand-in: it owns the binary messenger over which the interface's
// channels run. Its messenger comes from the embedding's defaults, set once per process
// before the interface is loaded (the socket in the host, an in-memory one in tests).
#pragma once

#include <functional>
#include <memory>

#include "messenger/binary_messenger.h"

namespace tovanel {

using MessengerFactory = std::function<std::unique_ptr<BinaryMessenger>()>;

// Sets the factory that engines created from now on take their messenger from; returns
// the one it replaces. Without one, an engine's messenger holds handlers and carries nothing.
MessengerFactory setDefaultMessengerFactory(MessengerFactory factory);

class FlutterEngine {
 public:
  FlutterEngine();
  FlutterEngine(const FlutterEngine&) = delete;
  FlutterEngine& operator=(const FlutterEngine&) = delete;

  BinaryMessenger& binaryMessenger() { return *messenger_; }

 private:
  std::unique_ptr<BinaryMessenger> messenger_;
};

}  // namespace tovanel
