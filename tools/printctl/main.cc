// printctl: calls the printing host from the command line, and converts between JSON
// and the bytes of the standard codec.
#include <cstdio>
#include <cstring>
#include <string>

#include "messenger/socket_listener.h"
#include "verbs.h"

namespace tovanel::printctl {
namespace {

void printUsage() {
  std::printf(
      "usage: printctl [--socket PATH] VERB [ARGUMENTS]\n"
      "\n"
      "For people:\n"
      "  list                      the printers, their queues, paper and paper sizes\n"
      "  status NAME               whether the printer NAME is known\n"
      "  papers NAME               the paper sizes of the printer NAME\n"
      "  set-default NAME          make NAME the default printer\n"
      "  print IMAGE [--printer NAME] [--width MM] [--height MM] [--copies N] [--job-name T]\n"
      "                            print an image file silently\n"
      "For scripts:\n"
      "  call METHOD [JSON]        send METHOD with JSON as its arguments; prints one line,\n"
      "                            {\"success\": V}, {\"error\": {...}} or {\"notImplemented\": "
      "true}\n"
      "  encode [--call|--reply] [JSON]   the codec's bytes of JSON, in hexadecimal\n"
      "  decode [--call|--reply] [HEX]    the JSON of the codec's bytes\n"
      "JSON or HEX left out, or \"-\", is read from standard input. A call is written\n"
      "{\"method\": M, \"args\": V}. Typed data and other values JSON lacks are one-key objects:\n"
      "{\"$bytes\": BASE64}, {\"$file\": PATH}, {\"$int32\": [...]}, {\"$int64\": [...]},\n"
      "{\"$float32\": [...]}, {\"$float64\": [...]}, {\"$map\": [[KEY, VALUE], ...]},\n"
      "{\"$double\": \"NaN\" | \"Infinity\" | \"-Infinity\"}.\n"
      "\n"
      "  --socket PATH   the host's socket (default: %s)\n"
      "\n"
      "Exit status: 0 success; 1 an error reply, or JSON, bytes or an image that cannot be\n"
      "used; 2 the host does not offer the method; 3 no printing host can be reached;\n"
      "64 a wrong use: an unknown verb or option, a missing or wrong argument.\n",
      defaultSocketPath().c_str());
}

int run(int argc, char** argv) {
  HostAddress host{defaultSocketPath(), false};
  int index = 1;
  for (; index < argc && std::strncmp(argv[index], "--", 2) == 0; ++index) {
    const std::string option = argv[index];
    if (option == "--help") {
      printUsage();
      return kSucceeded;
    }
    if (option == "--version") {
      std::printf("printctl %s\n", TOVANEL_VERSION);
      return kSucceeded;
    }
    if (option == "--socket" && index + 1 < argc) {
      host = {argv[++index], true};
    } else if (option.starts_with("--socket=")) {
      host = {option.substr(std::strlen("--socket=")), true};
    } else {
      return usageError("unknown option or missing value: " + option);
    }
  }
  if (index >= argc)
    return usageError("no verb given");
  const std::string verb = argv[index];
  const Words words(argv + index + 1, argv + argc);
  if (verb == "list")
    return listVerb(host, words);
  if (verb == "status")
    return statusVerb(host, words);
  if (verb == "papers")
    return papersVerb(host, words);
  if (verb == "set-default")
    return setDefaultVerb(host, words);
  if (verb == "print")
    return printVerb(host, words);
  if (verb == "call")
    return callVerb(host, words);
  if (verb == "encode")
    return encodeVerb(words);
  if (verb == "decode")
    return decodeVerb(words);
  return usageError("unknown verb \"" + verb + "\"");
}

}  // namespace
}  // namespace tovanel::printctl

int main(int argc, char** argv) {
  return tovanel::printctl::run(argc, argv);
}
