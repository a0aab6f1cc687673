#include "shell/flutter_engine.h"

#include <map>
#include <string>
#include <utility>

#include "shell/journal.h"

namespace tovanel {
namespace {

// Keeps the handlers it is given; nothing ever sends it a message.
class DetachedMessenger final : public BinaryMessenger {
 public:
  void setMessageHandler(const std::string& channel, BinaryMessageHandler handler) override {
    handlers_[channel] = std::move(handler);
  }

 private:
  std::map<std::string, BinaryMessageHandler> handlers_;
};

MessengerFactory& defaultFactory() {
  static MessengerFactory factory;
  return factory;
}

}  // namespace

MessengerFactory setDefaultMessengerFactory(MessengerFactory factory) {
  return std::exchange(defaultFactory(), std::move(factory));
}

FlutterEngine::FlutterEngine() {
  if (defaultFactory())
    messenger_ = defaultFactory()();
  if (!messenger_)
    messenger_ = std::make_unique<DetachedMessenger>();
  journal("FlutterEngine init");
}

}  // namespace tovanel
