// The application shell's start-up, on in-memory messengers.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/app_delegate.h"
#include "app/main_flutter_window.h"
#include "app/main_interface.h"
#include "channel/install_printing_channel.h"
#include "channel/printing_channel_handler.h"
#include "shell/application.h"
#include "shell/flutter_view_controller.h"
#include "shell/journal.h"
#include "support/fake_printing_services.h"
#include "support/host_fake_messenger.h"
#include "support/replies.h"

namespace tovanel {
namespace {

using testing::FakeMessenger;

const std::vector<std::string> kPluginKeys = {
    "ConnectivityPlusPlugin",   "FlutterSecureStorageDarwinPlugin",
    "FPPPackageInfoPlusPlugin", "ScreenRetrieverMacosPlugin",
    "TrayManagerPlugin",        "WindowManagerPlugin"};
const std::vector<std::string> kPluginModules = {
    "connectivity_plus", "flutter_secure_storage_darwin",
    "package_info_plus", "screen_retriever_macos",
    "tray_manager",      "window_manager"};

// Every engine created while it lives gets a FakeMessenger, kept in `messengers`.
class FakeEngines {
 public:
  FakeEngines() {
    previous_ = setDefaultMessengerFactory([this] {
      auto messenger = std::make_unique<FakeMessenger>();
      messengers.push_back(messenger.get());
      return messenger;
    });
  }
  ~FakeEngines() { setDefaultMessengerFactory(previous_); }
  FakeEngines(const FakeEngines&) = delete;
  FakeEngines& operator=(const FakeEngines&) = delete;

  std::vector<FakeMessenger*> messengers;

 private:
  MessengerFactory previous_;
};

size_t indexOf(const std::vector<std::string>& events, const std::string& event) {
  const auto found = std::find(events.begin(), events.end(), event);
  EXPECT_NE(found, events.end()) << "no \"" << event << "\"";
  return static_cast<size_t>(found - events.begin());
}

// The frame the main interface gives the window: its content plus a title bar.
const Rect kMainWindowFrame{335, 390, 800, 628};

// Tests awakeFromNib's six steps in order, and that the window keeps the interface's frame.
TEST(MainFlutterWindow, AwakeFromNibRunsItsStepsInOrder) {
  FakeEngines engines;
  MainFlutterWindow window(kMainWindowContentRect, kMainWindowStyle, BackingStore::buffered, false);
  JournalRecorder journal;
  window.awakeFromNib();

  std::vector<std::string> expected = {
      "FlutterEngine init",
      "FlutterViewController init",
      "Window frame " + describe(kMainWindowFrame),
      "Window setContentViewController",
      "Window setFrame " + describe(kMainWindowFrame) + " display",
  };
  for (size_t i = 0; i < kPluginKeys.size(); ++i) {
    expected.push_back("FlutterViewController registrarForPlugin " + kPluginKeys[i]);
    expected.push_back("PluginRegistrar " + kPluginKeys[i] + " publish " + kPluginModules[i]);
  }
  expected.push_back("Window awakeFromNib");
  EXPECT_EQ(journal.events, expected);
  EXPECT_EQ(window.frame(), kMainWindowFrame);
}

// Tests that the channel is installed after launching, on the window controller's engine.
TEST(ApplicationStartup, ChannelIsInstalledAfterTheWindowHoldsItsController) {
  FakeEngines engines;
  testing::FakePrintingServices services;
  services.addPrinter("Label Printer 4x6");
  JournalRecorder journal;
  Application application;
  application.finishLaunching([&services](Application& app) { loadMainInterface(app, services); });

  const auto& events = journal.events;
  const size_t loaded = indexOf(events, "Application load main interface");
  const size_t windowCreated =
      indexOf(events, "Window initWithContentRect " + describe(kMainWindowContentRect));
  const size_t controllerInstalled = indexOf(events, "Window setContentViewController");
  const size_t windowAwake = indexOf(events, "Window awakeFromNib");
  const size_t launched = indexOf(events, "Application didFinishLaunching");
  const size_t channelInstalled =
      indexOf(events, std::string("BinaryMessenger setMessageHandler ") + kPrintingChannelName);
  EXPECT_LT(loaded, windowCreated);
  EXPECT_LT(windowCreated, controllerInstalled);
  EXPECT_LT(controllerInstalled, windowAwake);
  EXPECT_LT(windowAwake, launched);
  EXPECT_LT(launched, channelInstalled);
  EXPECT_EQ(std::count(events.begin(), events.end(), "FlutterEngine init"), 1);

  ASSERT_EQ(application.windows().size(), 1u);
  EXPECT_EQ(application.windows()[0]->title, kMainWindowTitle);
  ASSERT_EQ(engines.messengers.size(), 1u);
  EXPECT_EQ(engines.messengers[0]->call(
                kPrintingChannelName,
                {"getPrinterStatus", ValueMap{{"printerName", "Label Printer 4x6"}}}),
            testing::successReply(ValueMap{{"status", "online"}, {"message", "Ready"}}));
  EXPECT_EQ(engines.messengers[0]->call(kPrintingChannelName, {"getprinterstatus", Value()}),
            testing::notImplementedReply());
  EXPECT_TRUE(application.delegate()->applicationSupportsSecureRestorableState(application));
}

// A view controller that is not Flutter's.
class PlainViewController final : public ViewController {
 public:
  Size preferredContentSize() const override { return {100, 100}; }
};

enum class FirstWindow { none, empty, plainController, flutterController };

// Tests that the channel opens only on the first window's Flutter view controller.
TEST(InstallPrintingChannel, OpensOnlyOnTheFirstWindowsFlutterController) {
  testing::FakePrintingServices services;
  installPrintingChannel(services);  // no application at all
  for (const auto first : {FirstWindow::none, FirstWindow::empty, FirstWindow::plainController,
                           FirstWindow::flutterController}) {
    SCOPED_TRACE(static_cast<int>(first));
    FakeEngines engines;
    Application application;
    auto makeWindow = [] {
      return std::make_unique<Window>(Rect{0, 0, 10, 10}, 0, BackingStore::buffered, false);
    };
    if (first != FirstWindow::none) {
      Window& window = application.addWindow(makeWindow());
      if (first == FirstWindow::plainController)
        window.setContentViewController(std::make_unique<PlainViewController>());
      if (first == FirstWindow::flutterController)
        window.setContentViewController(std::make_unique<FlutterViewController>());
      // A later window with a Flutter controller must not be used instead.
      application.addWindow(makeWindow())
          .setContentViewController(std::make_unique<FlutterViewController>());
    }
    installPrintingChannel(services);
    for (size_t i = 0; i < engines.messengers.size(); ++i) {
      EXPECT_EQ(engines.messengers[i]->hasHandler(kPrintingChannelName),
                i == 0 && first == FirstWindow::flutterController)
          << "engine " << i;
    }
  }
}

}  // namespace
}  // namespace tovanel
