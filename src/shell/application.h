// The application object: its delegate and its windows, created from the main
// interface, and the launch sequence that brings them up.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "messenger/binary_messenger.h"
#include "shell/window.h"

namespace tovanel {

class Application;

struct Notification {
  std::string name;
};

inline constexpr const char* kDidFinishLaunchingNotification =
    "ApplicationDidFinishLaunchingNotification";

// Receives the application's events. Every default does nothing and answers false.
class ApplicationDelegate {
 public:
  virtual ~ApplicationDelegate() = default;
  virtual void applicationDidFinishLaunching(const Notification& notification);
  virtual bool applicationSupportsSecureRestorableState(Application& application);
};

// The base of a Flutter application's delegate.
class FlutterAppDelegate : public ApplicationDelegate {
 public:
  FlutterAppDelegate();
  void applicationDidFinishLaunching(const Notification& notification) override;
};

// Creates the application's delegate and windows: the main interface description.
using MainInterface = std::function<void(Application&)>;

class Application {
 public:
  // The interface's windows run their engines over `messenger`, which the embedding
  // hands down and which must outlive the application.
  explicit Application(BinaryMessenger& messenger);
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  BinaryMessenger& messenger() const { return messenger_; }

  // The windows in the order they were added.
  std::vector<Window*> windows() const;
  Window& addWindow(std::unique_ptr<Window> window);

  ApplicationDelegate* delegate() const { return delegate_.get(); }
  void setDelegate(std::unique_ptr<ApplicationDelegate> delegate);

  // Loads `mainInterface`, sends every window awakeFromNib, then tells the delegate
  // that launching has finished.
  void finishLaunching(const MainInterface& mainInterface);

 private:
  BinaryMessenger& messenger_;
  std::vector<std::unique_ptr<Window>> windows_;
  std::unique_ptr<ApplicationDelegate> delegate_;
};

// The process's application main function: reads the platform's options (--socket
// PATH, --help, --version), claims the channel socket (or takes the one handed over by
// socket activation), creates the application from `mainInterface`, launches it, and
// serves the socket on the main thread until SIGINT or SIGTERM. Returns the exit status:
// 0 after a clean stop or for --help and --version, 1 when the socket cannot be claimed
// or the handed one cannot be served, 64 for a wrong option.
int applicationMain(int argc, char** argv, const MainInterface& mainInterface);

}  // namespace tovanel
