#pragma once

// Runs the built program the way a user does and captures what it prints.

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
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
  long peak_kb = 0;  // the run's peak resident memory
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

// Runs the program with `args` in folder `cwd`, standard input fed from `input`.
inline RunResult RunTalmora(const std::vector<std::string>& args, const std::string& cwd,
                            const std::string& input = "") {
  RunResult result;
  TempDir scratch;
  const std::string input_file = scratch.Write("stdin", input);
  int pipe_fds[2];
  if (::pipe(pipe_fds) != 0) return result;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, input_file.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 1);
  posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
  posix_spawn_file_actions_addclose(&actions, pipe_fds[1]);
  posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  std::vector<std::string> storage{TALMORA_BINARY};
  storage.insert(storage.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& arg : storage) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, TALMORA_BINARY, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipe_fds[1]);
  if (spawned == 0) {
    char buffer[65536];
    for (ssize_t n; (n = ::read(pipe_fds[0], buffer, sizeof buffer)) > 0;) result.out.append(buffer, n);
    int status = 0;
    struct rusage usage {};
    ::wait4(pid, &status, 0, &usage);
    result.peak_kb = usage.ru_maxrss;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  ::close(pipe_fds[0]);
  return result;
}

// Writes `script` as `name` into `dir` and runs the program on it from that folder.
inline RunResult RunScript(const TempDir& dir, const std::string& script,
                           const std::string& name = "movie.xml", const std::string& input = "") {
  dir.Write(name, script);
  return RunTalmora({name}, dir.path(), input);
}

}  // namespace talmora::testing
