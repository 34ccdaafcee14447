// Helpers shared by the tests: waiting on conditions with a deadline,
// child processes, thread counts.
#pragma once

#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <dirent.h>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace vkttest {

using Clock = std::chrono::steady_clock;

inline long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Polls `condition` until it holds or `timeout` passes; true if it held.
inline bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  auto deadline = Clock::now() + timeout;
  while (!condition()) {
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// Number of threads of this process.
inline int ThreadCount() {
  int n = 0;
  if (DIR* dir = opendir("/proc/self/task")) {
    while (dirent* e = readdir(dir)) {
      if (e->d_name[0] != '.') ++n;
    }
    closedir(dir);
  }
  return n;
}

// The thread count once any helper thread of the runtime (a sanitizer's
// background thread, for one) exists: those start with the first thread.
inline int SettledThreadCount() {
  std::thread([] {}).join();
  return ThreadCount();
}

// A child process whose standard output is read through a pipe.
class Child {
 public:
  explicit Child(const std::vector<std::string>& argv) {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(fds[1], 1);
      close(fds[0]);
      close(fds[1]);
      std::vector<char*> args;
      for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
      args.push_back(nullptr);
      execv(args[0], args.data());
      _exit(127);
    }
    close(fds[1]);
    out_ = fds[0];
  }
  ~Child() {
    Kill(SIGKILL);
    Wait(std::chrono::seconds(5));
    if (out_ >= 0) close(out_);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  bool Started() const { return pid_ > 0; }
  pid_t Pid() const { return pid_; }

  // Reads one line of output within `timeout`; nullopt at end or time-out.
  std::optional<std::string> ReadLine(std::chrono::milliseconds timeout) {
    auto deadline = Clock::now() + timeout;
    for (;;) {
      auto nl = buffer_.find('\n');
      if (nl != std::string::npos) {
        std::string line = buffer_.substr(0, nl);
        buffer_.erase(0, nl + 1);
        return line;
      }
      if (!ReadMore(deadline)) return std::nullopt;
    }
  }
  // Reads all output until the child closes it, within `timeout`.
  std::string ReadAll(std::chrono::milliseconds timeout) {
    auto deadline = Clock::now() + timeout;
    while (ReadMore(deadline)) {
    }
    std::string all;
    all.swap(buffer_);
    return all;
  }
  void Kill(int sig) {
    if (pid_ > 0 && !exited_) kill(pid_, sig);
  }
  // Exit status (as waitpid gives it), or nullopt if it did not end in time.
  std::optional<int> Wait(std::chrono::milliseconds timeout) {
    if (pid_ <= 0) return std::nullopt;
    if (exited_) return status_;
    auto deadline = Clock::now() + timeout;
    for (;;) {
      int status = 0;
      pid_t r = waitpid(pid_, &status, WNOHANG);
      if (r == pid_) {
        exited_ = true;
        status_ = status;
        return status;
      }
      if (Clock::now() >= deadline) return std::nullopt;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }

 private:
  bool ReadMore(Clock::time_point deadline);

  pid_t pid_ = -1;
  int out_ = -1;
  std::string buffer_;
  bool exited_ = false;
  int status_ = 0;
};

}  // namespace vkttest
