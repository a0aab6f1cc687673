#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "messenger/run_loop.h"
#include "messenger/socket_listener.h"
#include "messenger/socket_messenger.h"
#include "shell/application.h"
#include "shell/flutter_engine.h"

namespace tovanel {
namespace {

struct Options {
  std::optional<std::string> socketPath;
  bool help = false;
  bool version = false;
  std::string wrong;  // the first option not understood
};

Options readOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc && options.wrong.empty(); ++i) {
    const std::string argument = argv[i];
    if (argument == "--help" || argument == "-h") {
      options.help = true;
    } else if (argument == "--version") {
      options.version = true;
    } else if (argument == "--socket" && i + 1 < argc) {
      options.socketPath = argv[++i];
    } else if (argument.starts_with("--socket=")) {
      options.socketPath = argument.substr(std::strlen("--socket="));
    } else {
      options.wrong = argument;
    }
  }
  return options;
}

void printUsage(FILE* out, const std::string& program) {
  std::fprintf(out,
               "usage: %s [--socket PATH]\n"
               "Serves the channel \"com.tovanel.printing\" on a Unix socket until SIGINT or "
               "SIGTERM.\n"
               "  --socket PATH  listen on PATH (default: %s)\n"
               "  --help         show this text\n"
               "  --version      show the version\n",
               program.c_str(), defaultSocketPath().c_str());
}

std::string programName(int argc, char** argv) {
  if (argc < 1 || !argv[0] || !*argv[0])
    return "printing_host";
  const char* slash = std::strrchr(argv[0], '/');
  return slash ? slash + 1 : argv[0];
}

}  // namespace

int applicationMain(int argc, char** argv, const MainInterface& mainInterface) {
  // Diagnostics reach a pipe line by line, as they happen.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  // Once whoever read that pipe has gone, a note about a client must cost the note (the
  // write fails with EPIPE), not the host. The tools it runs start with the default.
  std::signal(SIGPIPE, SIG_IGN);
  const std::string program = programName(argc, argv);
  const Options options = readOptions(argc, argv);
  if (!options.wrong.empty()) {
    std::fprintf(stderr, "%s: unknown option or missing value: %s\n", program.c_str(),
                 options.wrong.c_str());
    printUsage(stderr, program);
    return 2;
  }
  if (options.help) {
    printUsage(stdout, program);
    return 0;
  }
  if (options.version) {
    std::printf("%s %s\n", program.c_str(), TOVANEL_VERSION);
    return 0;
  }

  const std::string path = options.socketPath.value_or(defaultSocketPath());
  auto claimed = SocketListener::claim(path, options.socketPath ? SocketListener::Folder::asFound
                                                                : SocketListener::Folder::private_);
  if (!claimed) {
    std::fprintf(stderr, "%s: %s\n", program.c_str(), claimed.error.c_str());
    return 1;
  }

  RunLoop loop;
  auto log = [program](const std::string& line) {
    std::fprintf(stderr, "%s: %s\n", program.c_str(), line.c_str());
  };
  // The first engine takes the socket; should the interface create none, the socket is
  // still served, and every call finds no handler.
  std::optional<SocketListener> listener(std::move(*claimed.value));
  SocketMessenger* served = nullptr;
  const auto previousFactory =
      setDefaultMessengerFactory([&]() -> std::unique_ptr<BinaryMessenger> {
        if (!listener)
          return nullptr;
        auto messenger = std::make_unique<SocketMessenger>(std::move(*listener), log);
        listener.reset();
        served = messenger.get();
        return messenger;
      });
  {
    Application application;
    application.finishLaunching(mainInterface);
    std::optional<SocketMessenger> unclaimed;
    if (listener)
      served = &unclaimed.emplace(std::move(*listener), log);
    loop.addSource(*served);
    std::printf("%s: listening on %s\n", program.c_str(), path.c_str());
    loop.run();
    loop.removeSource(*served);  // before the engine that owns it goes
  }
  setDefaultMessengerFactory(previousFactory);
  return 0;
}

}  // namespace tovanel
