// The Flutter engine stand-in: the interface's channels run over its binary messenger,
// which the embedding hands it (the channel socket in the host, an in-memory one in
// tests).
#pragma once

#include "messenger/binary_messenger.h"

namespace tovanel {

class FlutterEngine {
 public:
  // `messenger` must outlive the engine.
  explicit FlutterEngine(BinaryMessenger& messenger);
  FlutterEngine(const FlutterEngine&) = delete;
  FlutterEngine& operator=(const FlutterEngine&) = delete;

  BinaryMessenger& binaryMessenger() { return messenger_; }

 private:
  BinaryMessenger& messenger_;
};

}  // namespace tovanel
