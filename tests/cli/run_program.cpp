#include "run_program.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/test_support.h"

namespace tavren::test {

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

[[noreturn]] void ExecChild(const TProgramRun& run, int out, int err) {
  ::dup2(out, STDOUT_FILENO);
  ::dup2(err, STDERR_FILENO);
  const int none = ::open("/dev/null", O_RDONLY);
  ::dup2(none, STDIN_FILENO);
  const rlimit cpu{60, 60};
  ::setrlimit(RLIMIT_CPU, &cpu);
  if (!kAddressSanitizer) {
    const rlimit memory{2ul << 30, 2ul << 30};
    ::setrlimit(RLIMIT_AS, &memory);
  }
  for (const std::string& variable : run.Environment) ::putenv(const_cast<char*>(variable.c_str()));
  std::vector<char*> argv;
  for (const std::string& arg : run.Args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  ::execv(argv[0], argv.data());
  ::_exit(127);
}

// What the pseudo-terminal's other side received, read until the child's
// side is closed.
std::string Drain(int master, pid_t child, int& status, rusage& usage, bool& timedOut,
                  int seconds) {
  std::string text;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  bool ended = false;
  while (true) {
    if (master >= 0) {
      pollfd ready{master, POLLIN, 0};
      if (::poll(&ready, 1, 10) > 0) {
        char buffer[4096];
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n > 0) {
          text.append(buffer, static_cast<std::size_t>(n));
          continue;
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (ended) break;
    if (::wait4(child, &status, WNOHANG, &usage) == child) {
      ended = true;
      continue;  // one more read for what is still buffered
    }
    if (std::chrono::steady_clock::now() > deadline) {
      timedOut = true;
      ::kill(child, SIGKILL);
      ::wait4(child, &status, 0, &usage);
      break;
    }
  }
  return text;
}

}  // namespace

bool CanOpenPseudoTerminal() {
  int master = -1;
  int terminal = -1;
  if (::openpty(&master, &terminal, nullptr, nullptr, nullptr) != 0) return false;
  ::close(master);
  ::close(terminal);
  return true;
}

TProgramResult RunProgram(const TProgramRun& run) {
  static TempDir capture;
  static int serial = 0;
  const std::string number = std::to_string(serial++);
  const std::string outPath = capture.file("out" + number);
  const std::string errPath = capture.file("err" + number);
  const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  int err = -1;
  int master = -1;
  if (!run.StderrOnTerminal || ::openpty(&master, &err, nullptr, nullptr, nullptr) != 0) {
    master = -1;
    err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  }
  const bool onTerminal = master >= 0;
  const pid_t child = ::fork();
  if (child == 0) ExecChild(run, out, err);
  ::close(out);
  ::close(err);
  std::thread during;
  if (run.DuringRun) during = std::thread(run.DuringRun, child);

  TProgramResult result;
  int status = 0;
  rusage usage{};
  const std::string terminal = Drain(master, child, status, usage, result.TimedOut, run.Seconds);
  if (during.joinable()) during.join();
  if (onTerminal) ::close(master);
  result.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.Signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  result.MaxResidentKb = usage.ru_maxrss;
  result.Out = ReadAll(outPath);
  result.Err = onTerminal ? terminal : ReadAll(errPath);
  return result;
}

}  // namespace tavren::test
