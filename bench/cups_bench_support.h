// Shared by the CUPS benchmarks: a private sandbox for the whole program, the plainest
// possible tool run to compare the host against, and a main that sets both up.
#pragma once

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "support/cups_sandbox.h"

extern char** environ;

namespace tovanel::bench {

// Runs a tool the plainest way: posix_spawn, standard output read to its end, waitpid.
// The baseline that the host's own runs are measured against.
inline std::string runDirectly(const std::vector<std::string>& command) {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0)
    return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, ends[1], 1);
  std::vector<char*> argv;
  for (const auto& word : command)
    argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(ends[1]);
  std::string output;
  std::array<char, 65536> buffer;
  for (ssize_t count; !failed && (count = read(ends[0], buffer.data(), buffer.size())) > 0;)
    output.append(buffer.data(), static_cast<size_t>(count));
  close(ends[0]);
  int status = 0;
  if (!failed)
    waitpid(pid, &status, 0);
  return output;
}

// Runs `host` and then `direct` in each iteration, so that a busy machine weighs on both
// alike, and reports their mean times and "ratio", the host's over the direct runs'.
template <typename Host, typename Direct>
void compareHostWithDirect(benchmark::State& state, Host host, Direct direct) {
  using Clock = std::chrono::steady_clock;
  Clock::duration hostTotal{};
  Clock::duration directTotal{};
  for (auto _ : state) {
    const auto start = Clock::now();
    host();
    const auto middle = Clock::now();
    direct();
    const auto end = Clock::now();
    hostTotal += middle - start;
    directTotal += end - middle;
    state.SetIterationTime(std::chrono::duration<double>(end - start).count());
  }
  const auto milliseconds = [&](Clock::duration total) {
    return std::chrono::duration<double, std::milli>(total).count() /
           static_cast<double>(state.iterations());
  };
  state.counters["host_ms"] = milliseconds(hostTotal);
  state.counters["direct_ms"] = milliseconds(directTotal);
  state.counters["ratio"] = milliseconds(hostTotal) / milliseconds(directTotal);
}

// Runs the registered benchmarks against a fresh private sandbox and HOME, after
// `setUp` has had its turn with the sandbox.
template <typename SetUp>
int runWithSandbox(int argc, char** argv, SetUp setUp) {
  testing::CupsSandbox sandbox;
  setUp(sandbox);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

}  // namespace tovanel::bench
