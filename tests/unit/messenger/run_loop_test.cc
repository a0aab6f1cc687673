#include "messenger/run_loop.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <thread>

namespace tovanel {
namespace {

using namespace std::chrono_literals;

void keepRunning(int) {}

// Tests that SIGTERM and SIGINT end run(), restoring the handlers, and an early stop().
TEST(RunLoop, StopSignalsEndTheLoopAndHandlersAreRestored) {
  struct sigaction mine = {};
  mine.sa_handler = keepRunning;
  struct sigaction savedTerm;
  struct sigaction savedInt;
  ASSERT_EQ(::sigaction(SIGTERM, &mine, &savedTerm), 0);
  ASSERT_EQ(::sigaction(SIGINT, &mine, &savedInt), 0);
  for (int signal : {SIGTERM, SIGINT}) {
    RunLoop loop;
    std::thread sender([signal] {
      std::this_thread::sleep_for(50ms);
      ::kill(::getpid(), signal);
    });
    loop.run();
    sender.join();
    EXPECT_TRUE(loop.stopping());
    struct sigaction now;
    ::sigaction(signal, nullptr, &now);
    EXPECT_EQ(now.sa_handler, keepRunning);
  }
  ::sigaction(SIGTERM, &savedTerm, nullptr);
  ::sigaction(SIGINT, &savedInt, nullptr);

  RunLoop early;
  early.stop();
  early.run(RunLoop::Signals::leaveAlone);
}

}  // namespace
}  // namespace tovanel
