#include "serve/serve.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <httplib.h>

#include <charconv>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "platform/console/reporter.h"
#include "app/output_paths.h"
#include "script/file_path.h"
#include "serve/studio.h"

namespace talmora {
namespace {

constexpr int kFailure = -1;
constexpr int kInterrupted = 130;
// Every open page holds one connection for its updates; a few pages are plenty.
constexpr int kMostEventStreams = 4;

// The whole text a finite number, as the command line reads seconds.
std::optional<double> StrictNumber(const std::string& text) {
  std::string_view view = text;
  if (view.starts_with('+')) view.remove_prefix(1);
  double value = 0.0;
  const auto [end, error] = std::from_chars(view.data(), view.data() + view.size(), value);
  if (view.empty() || error != std::errc() || end != view.data() + view.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

// Wakes the event streams when the script has been read again, and when the server stops.
class Changes {
 public:
  void Notify() {
    std::lock_guard lock(mutex_);
    ++count_;
    changed_.notify_all();
  }
  void Stop() {
    std::lock_guard lock(mutex_);
    stopped_ = true;
    changed_.notify_all();
  }
  uint64_t Count() {
    std::lock_guard lock(mutex_);
    return count_;
  }
  // Waits until a change past `seen` or the timeout; false once stopped.
  bool Wait(uint64_t& seen, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, timeout, [&] { return stopped_ || count_ != seen; });
    seen = count_;
    return !stopped_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  uint64_t count_ = 0;
  bool stopped_ = false;
};

// Reads the script again when it, or a file it names, is written or replaced: the folders are
// watched rather than the files, as editors save by renaming a new file over the old.
class Watcher {
 public:
  Watcher(Studio& studio, Changes& changes) : studio_(studio), changes_(changes) {
    inotify_ = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (::pipe(stop_) != 0) stop_[0] = stop_[1] = -1;
    if (inotify_ < 0 || stop_[0] < 0) return;
    Rewatch();
    thread_ = std::thread([this] { Run(); });
  }
  ~Watcher() {
    if (thread_.joinable()) {
      const char byte = 0;
      if (::write(stop_[1], &byte, 1) != 1) {
        // The pipe is ours and empty: the write does not fail.
      }
      thread_.join();
    }
    for (const int fd : {inotify_, stop_[0], stop_[1]}) {
      if (fd >= 0) ::close(fd);
    }
  }
  bool Working() const { return thread_.joinable(); }

 private:
  void Rewatch() {
    names_.clear();
    for (const std::string& file : studio_.WatchedFiles()) {
      const std::string path = AbsolutePath(file);
      const size_t slash = path.rfind('/');
      const std::string folder = slash == 0 ? "/" : path.substr(0, slash);
      const int watch = ::inotify_add_watch(inotify_, folder.c_str(), IN_CLOSE_WRITE | IN_MOVED_TO | IN_DELETE);
      if (watch >= 0) names_[watch].insert(path.substr(slash + 1));
    }
  }

  // True when an event names a watched file.
  bool Drain() {
    alignas(inotify_event) char buffer[8192];
    bool relevant = false;
    for (;;) {
      const ssize_t got = ::read(inotify_, buffer, sizeof buffer);
      if (got <= 0) return relevant;
      for (ssize_t at = 0; at < got;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        const auto watched = names_.find(event->wd);
        if (event->len > 0 && watched != names_.end() && watched->second.contains(event->name)) relevant = true;
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      }
    }
  }

  void Run() {
    pollfd fds[] = {{inotify_, POLLIN, 0}, {stop_[0], POLLIN, 0}};
    for (;;) {
      if (::poll(fds, 2, -1) < 0 && errno != EINTR) return;
      if (fds[1].revents) return;
      if (!(fds[0].revents & POLLIN) || !Drain()) continue;
      // A save is often several events (truncate, write, rename): read once they have settled.
      while (::poll(fds, 1, 15) > 0 && !fds[1].revents) Drain();
      // The new frames first; the problems follow once the check has opened every file.
      studio_.Reload();
      changes_.Notify();
      studio_.Check();
      Rewatch();
      changes_.Notify();
    }
  }

  Studio& studio_;
  Changes& changes_;
  int inotify_ = -1;
  int stop_[2] = {-1, -1};
  std::map<int, std::set<std::string>> names_;
  std::thread thread_;
};

void Refuse(httplib::Response& response, int status, const std::string& why) {
  response.status = status;
  response.set_content(why + "\n", "text/plain; charset=utf-8");
}

// Whether every parameter of the request is one of `known`.
bool OnlyKnown(const httplib::Request& request, std::initializer_list<std::string_view> known) {
  for (const auto& [name, value] : request.params) {
    if (std::find(known.begin(), known.end(), name) == known.end()) return false;
  }
  return true;
}

void Routes(httplib::Server& server, Studio& studio, Changes& changes, std::atomic<int>& streams) {
  server.Get("/", [](const httplib::Request&, httplib::Response& response) {
    // The page fetches nothing but its own endpoints.
    response.set_header("Content-Security-Policy",
                        "default-src 'self'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; "
                        "img-src 'self' blob:; media-src 'self' blob:");
    response.set_content(kPreviewPage, "text/html; charset=utf-8");
  });
  server.Get("/timeline", [&studio](const httplib::Request& request, httplib::Response& response) {
    if (!request.params.empty()) return Refuse(response, 400, "パラメータは要りません");
    response.set_content(studio.TimelineJson(), "application/json");
  });
  server.Get("/problems", [&studio](const httplib::Request& request, httplib::Response& response) {
    if (!request.params.empty()) return Refuse(response, 400, "パラメータは要りません");
    response.set_content(studio.ProblemsJson(), "application/json");
  });
  server.Get("/source", [&studio](const httplib::Request& request, httplib::Response& response) {
    if (!request.params.empty()) return Refuse(response, 400, "パラメータは要りません");
    response.set_content(studio.Source(), "text/plain; charset=utf-8");
  });
  server.Get("/frame", [&studio](const httplib::Request& request, httplib::Response& response) {
    const auto time = StrictNumber(request.get_param_value("t"));
    const std::string size = request.has_param("size") ? request.get_param_value("size") : "view";
    const std::string format = request.has_param("format") ? request.get_param_value("format") : "png";
    if (!OnlyKnown(request, {"t", "size", "format", "v"}) || !time || (size != "view" && size != "half") ||
        (format != "png" && format != "jpeg")) {
      return Refuse(response, 400, "t=秒 (size=view|half, format=png|jpeg) で尋ねてください");
    }
    const Studio::Size which = size == "half" ? Studio::Size::kHalf : Studio::Size::kView;
    const uint64_t ticket = studio.Ticket(which);
    std::string bytes;
    switch (studio.Frame(ticket, which, *time, format == "png" ? Studio::Format::kPng : Studio::Format::kJpeg, bytes)) {
      case Studio::Drawn::kDone:
        response.set_header("Cache-Control", "no-store");
        return response.set_content(bytes, format == "png" ? "image/png" : "image/jpeg");
      case Studio::Drawn::kOutside:
        return Refuse(response, 400, "時刻が動画の外です : " + request.get_param_value("t"));
      case Studio::Drawn::kSuperseded:
        return Refuse(response, 503, "新しい要求に譲りました");
      case Studio::Drawn::kNoScript:
        return Refuse(response, 503, "スクリプトを読み込めていません");
      case Studio::Drawn::kFailed:
        return Refuse(response, 500, "フレームを描けませんでした");
    }
  });
  server.Get("/sound", [&studio](const httplib::Request& request, httplib::Response& response) {
    const auto from = StrictNumber(request.get_param_value("from"));
    const auto to = StrictNumber(request.get_param_value("to"));
    // A window is listened to, not exported: ten seconds at most.
    if (!OnlyKnown(request, {"from", "to", "v"}) || !from || !to || !(*to > *from) || *to - *from > 10.0) {
      return Refuse(response, 400, "from=秒&to=秒 (10 秒まで) で尋ねてください");
    }
    std::string bytes;
    switch (studio.Sound(*from, *to, bytes)) {
      case Studio::Drawn::kDone:
        response.set_header("Cache-Control", "no-store");
        return response.set_content(bytes, "audio/wav");
      case Studio::Drawn::kOutside:
        return Refuse(response, 400, "時刻が動画の外です");
      case Studio::Drawn::kNoScript:
        return Refuse(response, 503, "スクリプトを読み込めていません");
      case Studio::Drawn::kSuperseded:
      case Studio::Drawn::kFailed:
        return Refuse(response, 404, "この区間に音はありません");
    }
  });
  server.Get("/events", [&changes, &streams, &studio](const httplib::Request&, httplib::Response& response) {
    if (++streams > kMostEventStreams) {
      --streams;
      return Refuse(response, 503, "開いているページが多すぎます");
    }
    response.set_header("Cache-Control", "no-store");
    struct Stream {
      bool opened = false;
      uint64_t seen = 0;
    };
    auto stream = std::make_shared<Stream>();
    response.set_chunked_content_provider(
        "text/event-stream",
        [&changes, &studio, stream](size_t, httplib::DataSink& sink) {
          // The version at once, then at each change; a comment every few seconds finds a page
          // that has gone.
          bool changed = !stream->opened;
          if (stream->opened) {
            const uint64_t before = stream->seen;
            if (!changes.Wait(stream->seen, std::chrono::seconds(5))) return false;
            changed = before != stream->seen;
          } else {
            stream->opened = true;
            stream->seen = changes.Count();
          }
          const std::string event = changed ? "data: " + std::to_string(studio.Version()) + "\n\n" : ":\n\n";
          return sink.write(event.data(), event.size());
        },
        [&streams](bool) { --streams; });
  });
}

}  // namespace

int Serve(const CommandLine& line, Reporter& console) {
  if (line.scripts.size() != 1) {
    console.Line("使い方 : talmora [xmlファイルパス]");
    return kFailure;
  }
  const std::string& script = line.scripts.front();
  struct stat info {};
  if (::stat(script.c_str(), &info) != 0) {
    console.Line("エラー : xmlファイルが見つかりません");
    return kFailure;
  }
  if (!ReadableFilePath(script)) {
    console.Line("エラー : xmlファイルを開けませんでした");
    return kFailure;
  }
  const std::string full_path = AbsolutePath(script);
  if (::chdir(FolderOf(full_path).c_str()) != 0) {
    // The script's own folder is readable: its file was just opened.
  }
  // Ctrl-C is heard by one thread of its own, which stops the server; every other thread,
  // started after this, leaves it to that one.
  sigset_t stops;
  sigemptyset(&stops);
  for (const int number : {SIGINT, SIGTERM, SIGUSR1}) sigaddset(&stops, number);
  pthread_sigmask(SIG_BLOCK, &stops, nullptr);
  ::signal(SIGPIPE, SIG_IGN);

  Studio studio(full_path, line.scale);
  Changes changes;
  std::atomic<int> streams{0};
  httplib::Server server;
  // Renders wait for one another; a pool larger than the default keeps the page's other
  // requests and the open event streams from waiting behind them.
  server.new_task_queue = [] { return new httplib::ThreadPool(16); };
  server.set_keep_alive_max_count(1000);
  // The library's default adds SO_REUSEPORT, with which a second server would share the port
  // and take every other request; the address alone is reused, for a restart straight after.
  server.set_socket_options([](socket_t sock) {
    const int yes = 1;
    ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  const int port = line.port.value_or(8080);
  const int bound = port == 0 ? server.bind_to_any_port("127.0.0.1") : (server.bind_to_port("127.0.0.1", port) ? port : -1);
  if (bound < 0) {
    console.Line("エラー : 127.0.0.1 のポート " + std::to_string(port) + " で待ち受けできません");
    return 1;
  }
  // Another site's page reaching this port through a name of its own (DNS rebinding) sends its
  // own Host: only the loopback address and this port are ours.
  const std::set<std::string> hosts = {"127.0.0.1:" + std::to_string(bound), "localhost:" + std::to_string(bound)};
  server.set_pre_routing_handler([hosts](const httplib::Request& request, httplib::Response& response) {
    if (!hosts.contains(request.get_header_value("Host"))) {
      Refuse(response, 403, "Host が 127.0.0.1 のこのポートではありません");
      return httplib::Server::HandlerResponse::Handled;
    }
    if (request.method != "GET" && request.method != "HEAD") {
      Refuse(response, 405, "GET だけを受け付けます");
      return httplib::Server::HandlerResponse::Handled;
    }
    return httplib::Server::HandlerResponse::Unhandled;
  });
  Routes(server, studio, changes, streams);
  Watcher watcher(studio, changes);

  std::atomic<bool> interrupted{false}, listened{false};
  std::thread stopper([&] {
    int number = 0;
    sigwait(&stops, &number);
    interrupted = number != SIGUSR1;
    changes.Stop();
    // A stop before the server is listening would be lost: it is said until the listening ends.
    while (!listened) {
      server.stop();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  });
  console.Line("プレビュー : http://127.0.0.1:" + std::to_string(bound) + "/ (Ctrl-C で終了します)");
  if (!watcher.Working()) console.Line("警告 : ファイルの変更を見張れません。保存しても描き直しません");
  server.listen_after_bind();
  listened = true;
  changes.Stop();
  if (!interrupted) pthread_kill(stopper.native_handle(), SIGUSR1);
  stopper.join();
  return interrupted ? kInterrupted : 1;
}

}  // namespace talmora
