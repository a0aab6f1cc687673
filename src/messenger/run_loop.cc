#include "messenger/run_loop.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace tovanel {
namespace {

// Where the signal handler reports to: the write end of the running loop's pipe.
volatile sig_atomic_t signalWakeFd = -1;
volatile sig_atomic_t signalArrived = 0;

void onStopSignal(int) {
  const int savedErrno = errno;
  signalArrived = 1;
  if (signalWakeFd >= 0) {
    const char byte = 's';
    [[maybe_unused]] const auto written = ::write(signalWakeFd, &byte, 1);
  }
  errno = savedErrno;
}

// Installs the handlers for the life of one run().
class StopSignals {
 public:
  explicit StopSignals(int wakeFd) {
    signalArrived = 0;
    signalWakeFd = wakeFd;
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    // Restarting keeps the system calls of operations (waiting for a child, reading its
    // output) from failing with EINTR; poll returns anyway and the loop sees the stop.
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &previousInt_);
    sigaction(SIGTERM, &action, &previousTerm_);
  }
  ~StopSignals() {
    sigaction(SIGINT, &previousInt_, nullptr);
    sigaction(SIGTERM, &previousTerm_, nullptr);
    signalWakeFd = -1;
    signalArrived = 0;
  }
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

 private:
  struct sigaction previousInt_ = {};
  struct sigaction previousTerm_ = {};
};

}  // namespace

RunLoop::RunLoop() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
    std::perror("run loop: pipe2");
    std::abort();
  }
  wakeRead_.reset(fds[0]);
  wakeWrite_.reset(fds[1]);
}

void RunLoop::addSource(RunLoopSource& source) {
  sources_.push_back(&source);
}

void RunLoop::removeSource(RunLoopSource& source) {
  std::erase(sources_, &source);
}

void RunLoop::stop() {
  stopping_ = true;
  const char byte = 'x';
  [[maybe_unused]] const auto written = ::write(wakeWrite_.get(), &byte, 1);
}

bool RunLoop::stopping() const {
  return stopping_.load() || (handlingSignals_ && signalArrived);
}

void RunLoop::drainWakePipe() {
  char buffer[64];
  while (::read(wakeRead_.get(), buffer, sizeof buffer) > 0) {
  }
}

void RunLoop::run(Signals signals) {
  std::optional<StopSignals> stopSignals;
  if (signals == Signals::stopTheLoop)
    stopSignals.emplace(wakeWrite_.get());
  handlingSignals_ = stopSignals.has_value();

  std::vector<pollfd> descriptors;
  std::vector<size_t> counts;
  const std::function<bool()> stoppingNow = [this] { return stopping(); };
  while (!stopping()) {
    descriptors.clear();
    counts.clear();
    descriptors.push_back({wakeRead_.get(), POLLIN, 0});
    const auto sources = sources_;  // a source may remove itself while dispatching
    for (RunLoopSource* source : sources) {
      const size_t before = descriptors.size();
      source->prepare(descriptors);
      counts.push_back(descriptors.size() - before);
    }
    if (::poll(descriptors.data(), descriptors.size(), -1) < 0) {
      if (errno == EINTR)
        continue;
      std::perror("run loop: poll");
      break;
    }
    if (descriptors[0].revents)
      drainWakePipe();
    size_t offset = 1;
    for (size_t i = 0; i < sources.size() && !stopping(); ++i) {
      const bool stillThere =
          std::find(sources_.begin(), sources_.end(), sources[i]) != sources_.end();
      if (stillThere)
        sources[i]->dispatch(std::span(descriptors).subspan(offset, counts[i]), stoppingNow);
      offset += counts[i];
    }
  }
  if (stopping())
    stopping_ = true;
  handlingSignals_ = false;
}

}  // namespace tovanel
