// The main interface description: what the application is made of when it starts.
#pragma once

#include "platform/printing_services.h"
#include "shell/application.h"

namespace tovanel {

// The main window's content rectangle, title and style.
inline constexpr Rect kMainWindowContentRect{335, 390, 800, 600};
inline constexpr const char* kMainWindowTitle = "Tovanel";
inline constexpr unsigned kMainWindowStyle = kTitled | kClosable | kMiniaturizable | kResizable;

// Creates the AppDelegate, over `services`, and one MainFlutterWindow.
void loadMainInterface(Application& application, PrintingServices& services);

}  // namespace tovanel
