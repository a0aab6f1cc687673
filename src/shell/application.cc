#include "shell/application.h"

#include "shell/journal.h"

namespace tovanel {
void ApplicationDelegate::applicationDidFinishLaunching(const Notification&) {}

bool ApplicationDelegate::applicationSupportsSecureRestorableState(Application&) {
  return false;
}

FlutterAppDelegate::FlutterAppDelegate() {
  journal("FlutterAppDelegate init");
}

void FlutterAppDelegate::applicationDidFinishLaunching(const Notification&) {
  journal("FlutterAppDelegate applicationDidFinishLaunching");
}

Application::Application(BinaryMessenger& messenger) : messenger_(messenger) {}

Application::~Application() {
  // Windows first: their engines may still hold handlers that refer to the delegate's
  // world.
  windows_.clear();
  delegate_.reset();
}

std::vector<Window*> Application::windows() const {
  journal("Application windows");
  std::vector<Window*> windows;
  for (const auto& window : windows_)
    windows.push_back(window.get());
  return windows;
}

Window& Application::addWindow(std::unique_ptr<Window> window) {
  window->application_ = this;
  return *windows_.emplace_back(std::move(window));
}

void Application::setDelegate(std::unique_ptr<ApplicationDelegate> delegate) {
  delegate_ = std::move(delegate);
}

void Application::finishLaunching(const MainInterface& mainInterface) {
  journal("Application load main interface");
  if (mainInterface)
    mainInterface(*this);
  for (const auto& window : windows_)
    window->awakeFromNib();
  journal("Application didFinishLaunching");
  if (delegate_)
    delegate_->applicationDidFinishLaunching(Notification{kDidFinishLaunchingNotification});
}

}  // namespace tovanel
