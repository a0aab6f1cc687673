// The main window: it shows the Flutter interface.
#pragma once

#include "shell/window.h"

namespace tovanel {

class MainFlutterWindow final : public Window {
 public:
  MainFlutterWindow(Rect contentRect, unsigned styleMask, BackingStore backing, bool defer);

  // Puts a new FlutterViewController into the window, keeping the frame that the main
  // interface gave it, registers the plug-ins on it, then lets the base class finish.
  void awakeFromNib() override;
};

}  // namespace tovanel
