#include "support/host_scripted_host.h"

#include <mutex>
#include <stdexcept>
#include <thread>

#include "channel/printing_channel_handler.h"
#include "messenger/method_channel.h"
#include "messenger/run_loop.h"
#include "messenger/socket_messenger.h"
#include "support/temporary_folder.h"

namespace tovanel::testing {

struct ScriptedHost::State {
  TemporaryFolder folder;
  std::string socketPath = folder.path() + "/channel.sock";
  std::map<std::string, MethodReply> replies;
  RunLoop loop;
  std::unique_ptr<SocketMessenger> messenger;
  std::thread thread;
  mutable std::mutex mutex;
  std::vector<MethodCall> calls;
};

ScriptedHost::ScriptedHost(std::map<std::string, MethodReply> replies)
    : state_(std::make_unique<State>()) {
  state_->replies = std::move(replies);
  auto listener = SocketListener::claim(state_->socketPath, SocketListener::Folder::asFound);
  if (!listener)
    throw std::runtime_error("the scripted host cannot listen: " + listener.error);
  state_->messenger =
      std::make_unique<SocketMessenger>(std::move(*listener.value), [](const std::string&) {});
  state_->loop.addSource(*state_->messenger);
  State* state = state_.get();
  MethodChannel(kPrintingChannelName, *state_->messenger)
      .setMethodCallHandler([state](const MethodCall& call, ReplyCallback reply) {
        {
          std::lock_guard lock(state->mutex);
          state->calls.push_back(call);
        }
        const auto found = state->replies.find(call.method);
        if (found == state->replies.end())
          return reply.notImplemented();
        reply(found->second);
      });
  state_->thread = std::thread([state] { state->loop.run(RunLoop::Signals::leaveAlone); });
}

ScriptedHost::~ScriptedHost() {
  state_->loop.stop();
  state_->thread.join();
  state_->messenger.reset();
}

const std::string& ScriptedHost::socketPath() const {
  return state_->socketPath;
}

std::vector<MethodCall> ScriptedHost::calls() const {
  std::lock_guard lock(state_->mutex);
  return state_->calls;
}

}  // namespace tovanel::testing
