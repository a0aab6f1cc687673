#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "messenger/handed_socket.h"
#include "messenger/run_loop.h"
#include "messenger/socket_listener.h"
#include "messenger/socket_messenger.h"
#include "shell/application.h"
#include "shell/flutter_engine.h"

namespace tovanel {
namespace {

constexpr int kWrongOption = 64;  // EX_USAGE

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

void printUsage(const std::string& program) {
  std::printf(
      "usage: %s [--socket PATH]\n"
      "Serves the channel \"com.tovanel.printing\" on a Unix socket until SIGINT or "
      "SIGTERM.\n"
      "  --socket PATH  listen on PATH (default: %s)\n"
      "  --help         show this text\n"
      "  --version      show the version\n"
      "Started by socket activation (LISTEN_PID, LISTEN_FDS), it serves the socket it\n"
      "is handed instead, and leaves that socket's file in place when it stops.\n"
      "Environment: CUPS_SERVER, the CUPS server, as for every CUPS program;\n"
      "XDG_RUNTIME_DIR, the default socket's folder; LISTEN_PID and LISTEN_FDS.\n"
      "Exit status: 0 after a clean stop; 1 when the socket cannot be served; 64 a wrong\n"
      "option.\n",
      program.c_str(), defaultSocketPath().c_str());
}

std::string programName(int argc, char** argv) {
  if (argc < 1 || !argv[0] || !*argv[0])
    return "printing_host";
  const char* slash = std::strrchr(argv[0], '/');
  return slash ? slash + 1 : argv[0];
}

// The socket handed over when socket activation started the host (`activated`), else
// the one of --socket or the default path.
Decoded<SocketListener> openListener(const Options& options, bool& activated) {
  auto handed = takeHandedSocket();
  if (!handed)
    return Decoded<SocketListener>::failure(handed.error);
  activated = handed.value->valid();
  if (activated)
    return SocketListener::adopt(std::move(*handed.value));
  return SocketListener::claim(
      options.socketPath.value_or(defaultSocketPath()),
      options.socketPath ? SocketListener::Folder::asFound : SocketListener::Folder::private_);
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
    std::fprintf(stderr,
                 "%s: unknown option or missing value: %s (%s --help shows how to use it)\n",
                 program.c_str(), options.wrong.c_str(), program.c_str());
    return kWrongOption;
  }
  if (options.help) {
    printUsage(program);
    return 0;
  }
  if (options.version) {
    std::printf("%s %s\n", program.c_str(), TOVANEL_VERSION);
    return 0;
  }

  bool activated = false;
  auto claimed = openListener(options, activated);
  if (!claimed) {
    std::fprintf(stderr, "%s: %s\n", program.c_str(), claimed.error.c_str());
    return 1;
  }

  auto log = [program](const std::string& line) {
    std::fprintf(stderr, "%s: %s\n", program.c_str(), line.c_str());
  };
  // The socket is the embedding's messenger, handed to the application and through it
  // to the engine of every window: should the interface create no engine, the socket
  // is still served, and every call finds no handler.
  const std::string path = claimed.value->path();
  SocketMessenger messenger(std::move(*claimed.value), log);
  RunLoop loop;
  {
    Application application(messenger);
    application.finishLaunching(mainInterface);
    loop.addSource(messenger);
    std::printf("%s: listening on %s%s\n", program.c_str(), path.c_str(),
                activated ? " (socket activation)" : "");
    loop.run();
    loop.removeSource(messenger);
  }
  return 0;
}

}  // namespace tovanel
