#include "shell/flutter_engine.h"

#include "shell/journal.h"

namespace tovanel {

FlutterEngine::FlutterEngine(BinaryMessenger& messenger) : messenger_(messenger) {
  journal("FlutterEngine init");
}

}  // namespace tovanel
