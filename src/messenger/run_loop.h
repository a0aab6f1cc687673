// The main thread's event loop: one poll over every source's descriptors, until it is
// stopped by stop(), from any thread, or by SIGINT or SIGTERM.
#pragma once

#include <poll.h>

#include <atomic>
#include <functional>
#include <span>
#include <vector>

#include "base/unique_fd.h"

namespace tovanel {

// Something the loop serves. Both calls happen on the loop's thread.
class RunLoopSource {
 public:
  virtual ~RunLoopSource() = default;
  // Appends the descriptors to watch in the next round.
  virtual void prepare(std::vector<pollfd>& descriptors) = 0;
  // Handles what poll reported for those descriptors, in the order prepare gave them. A
  // source with more queued work than one step leaves the rest once `stopping` is true.
  virtual void dispatch(std::span<const pollfd> descriptors,
                        const std::function<bool()>& stopping) = 0;
};

class RunLoop {
 public:
  RunLoop();
  RunLoop(const RunLoop&) = delete;
  RunLoop& operator=(const RunLoop&) = delete;

  // The source must stay alive until it is removed.
  void addSource(RunLoopSource& source);
  void removeSource(RunLoopSource& source);

  enum class Signals { stopTheLoop, leaveAlone };
  // Serves the sources until stopped. With Signals::stopTheLoop, SIGINT and SIGTERM
  // stop it (their previous handlers are back once it returns).
  void run(Signals signals = Signals::stopTheLoop);

  // Makes run() return after the source being served, if any, is done. Safe from any
  // thread; a stop before run() makes the next run() return at once.
  void stop();
  bool stopping() const;

 private:
  void drainWakePipe();

  std::vector<RunLoopSource*> sources_;
  UniqueFd wakeRead_;
  UniqueFd wakeWrite_;
  std::atomic<bool> stopping_ = false;
  bool handlingSignals_ = false;  // this run() has the signal handlers
};

}  // namespace tovanel
