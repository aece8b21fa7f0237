#pragma once

// Runs the built program the way a user does and captures what it prints.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace talmora::testing {

// What every run prints first: the device coming up.
inline const std::string kDeviceLines =
    "D3DDevice::Initialize() : DirectXの初期化に成功しました\n"
    "FMODライブラリの初期化に成功しました\n";
inline const std::string kClosingLine = "エンターキーを押すと終了します\n";

struct RunResult {
  std::string out;
  int status = -1;  // exit status as the shell sees it (-1 is 255)
  long peak_kib = 0;  // the run's peak resident memory
};

// A fresh folder under the system's temporary folder, removed with the object.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "talmora-test-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data()) ? pattern : std::string();
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  std::string Write(const std::string& name, const std::string& contents) const {
    const std::string file = *this / name;
    std::filesystem::create_directories(std::filesystem::path(file).parent_path());
    std::ofstream(file, std::ios::binary) << contents;
    return file;
  }

 private:
  std::string path_;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream contents;
  contents << file.rdbuf();
  return contents.str();
}

// How often `part` occurs in `text`.
inline size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// The names in `folder`: what a run leaves, temporaries included.
inline std::set<std::string> Names(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.insert(entry.path().filename());
  return names;
}

// Runs the ffmpeg command with `arguments` (quoted by the caller), quietly; true on success.
inline bool Ffmpeg(const std::string& arguments) {
  return std::system(("ffmpeg -nostdin -loglevel error -y " + arguments + " >/dev/null 2>&1").c_str()) == 0;
}

// Once the output shows `marker`, the signal sent, or without one, standard output closed as a
// reader that has seen enough (`| head`) closes it; until then standard input stays open.
struct Interruption {
  std::string marker;
  int signal = 0;
};

// The program started with `args` in folder `cwd`: its standard output comes through `out`, and
// with `piped_input` its standard input through `in` (else it keeps the test's). The input's
// reading end stays open here too, so that writing to a program already gone raises no SIGPIPE.
struct Child {
  pid_t pid = 0;  // 0 when it did not start
  int out = -1, in = -1, in_read = -1;
};

inline Child Start(const std::vector<std::string>& args, const std::string& cwd, bool piped_input) {
  Child child;
  int out[2], in[2] = {-1, -1};
  // Closed on exec: a program started at the same time from another thread must not hold this
  // one's input open, or neither would ever see its end.
  if (::pipe2(out, O_CLOEXEC) != 0 || (piped_input && ::pipe2(in, O_CLOEXEC) != 0)) return child;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (piped_input) posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  for (const int fd : {in[0], in[1], out[0], out[1]}) {
    if (fd >= 0) posix_spawn_file_actions_addclose(&actions, fd);
  }
  posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  std::vector<std::string> storage{TALMORA_BINARY};
  storage.insert(storage.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& arg : storage) argv.push_back(arg.data());
  argv.push_back(nullptr);
  if (posix_spawn(&child.pid, TALMORA_BINARY, &actions, nullptr, argv.data(), environ) != 0) child.pid = 0;
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  child.out = out[0];
  child.in = in[1];
  child.in_read = in[0];
  return child;
}

// Runs the program with `args` in folder `cwd`, standard input fed from `input` (small enough
// for a pipe's buffer).
inline RunResult RunTalmora(const std::vector<std::string>& args, const std::string& cwd,
                            const std::string& input = "", const Interruption& stop = {}) {
  RunResult result;
  const Child child = Start(args, cwd, true);
  if (child.out < 0) return result;
  const pid_t pid = child.pid;
  int in = child.in;
  [[maybe_unused]] const ssize_t written = ::write(in, input.data(), input.size());
  ::close(child.in_read);
  if (stop.marker.empty()) ::close(std::exchange(in, -1));
  bool sent = false;
  char buffer[65536];
  for (ssize_t n; pid != 0 && (n = ::read(child.out, buffer, sizeof buffer)) > 0;) {
    result.out.append(buffer, static_cast<size_t>(n));
    if (!sent && !stop.marker.empty() && result.out.find(stop.marker) != std::string::npos) {
      if (stop.signal == 0) break;
      sent = ::kill(pid, stop.signal) == 0;
    }
    // Never interrupted, it would wait for Enter for ever.
    if (!sent && in >= 0 && result.out.ends_with(kClosingLine)) ::close(std::exchange(in, -1));
  }
  if (in >= 0) ::close(in);
  ::close(child.out);
  int status = 0;
  struct rusage usage {};
  if (pid != 0 && ::wait4(pid, &status, 0, &usage) == pid) {
    result.peak_kib = usage.ru_maxrss;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  return result;
}

// Writes `script` as `name` into `dir` and runs the program on it from that folder.
inline RunResult RunScript(const TempDir& dir, const std::string& script,
                           const std::string& name = "movie.xml", const std::string& input = "") {
  dir.Write(name, script);
  return RunTalmora({name}, dir.path(), input);
}

}  // namespace talmora::testing
