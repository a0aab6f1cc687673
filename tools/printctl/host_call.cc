#include "host_call.h"

#include <cstdio>

#include "messenger/socket_client.h"

namespace tovanel::printctl {
namespace {

constexpr const char* kChannel = "com.tovanel.printing";

HostAnswer fail(int status, const std::string& message) {
  std::fprintf(stderr, "printctl: %s\n", message.c_str());
  return HostAnswer{std::nullopt, false, status};
}

std::string startCommand(const HostAddress& host) {
  return host.given ? "printing_host --socket " + host.socketPath : std::string("printing_host");
}

}  // namespace

HostAnswer callHost(const HostAddress& host, const std::string& method, const Value& arguments) {
  auto connected = SocketClient::connect(host.socketPath);
  if (!connected.client) {
    if (connected.failure == SocketClient::Failure::noHost) {
      return fail(kNoHost, "no printing host at " + host.socketPath + ": start it with " +
                               startCommand(host));
    }
    return fail(kNoHost, connected.error);
  }
  const auto reply = connected.client->call(kChannel, encodeMethodCall({method, arguments}));
  if (reply.failure == SocketClient::Failure::refused)
    return fail(kNoHost, "the printing host at " + host.socketPath + " refused: " + reply.error);
  if (reply.failure != SocketClient::Failure::none)
    return fail(kNoHost, "the printing host at " + host.socketPath + ": " + reply.error);
  if (reply.message.empty())
    return HostAnswer{std::nullopt, true, kSucceeded};
  auto envelope = decodeEnvelope(reply.message);
  if (!envelope)
    return fail(kFailed, "the host's reply does not decode: " + envelope.error);
  return HostAnswer{std::move(*envelope.value), false, kSucceeded};
}

}  // namespace tovanel::printctl
