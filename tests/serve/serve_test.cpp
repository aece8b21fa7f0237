// The preview server as the page uses it: the program started with --serve, asked over HTTP.

#include <gtest/gtest.h>
#include <httplib.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "render/picture_files.h"
#include "serve/studio.h"
#include "support/cli_harness.h"

namespace talmora {
namespace {

using namespace std::chrono_literals;

// A picture on a coloured ground, a text over it, a sound; line numbers matter to the timeline.
const std::string kScript =
    "<talmora width=\"160\" height=\"90\" fps=\"10\" length=\"3\" r=\"0.2\" a=\"1\">\n"
    "<image src=\"pic.pam\" x=\"10\" xend=\"100\" y=\"10\" width=\"40\" height=\"30\" z=\"2\" time=\"0\" duration=\"2\"/>\n"
    "<text sentence=\"Hi\" fontsize=\"20\" x=\"0\" y=\"50\" width=\"160\" height=\"40\" z=\"5\" time=\"1\" duration=\"2\"/>\n"
    "<sound src=\"tone.wav\" time=\"0.5\"/>\n"
    "</talmora>\n";

// The program serving a script in a folder of its own, on a port the system chose.
class Server {
 public:
  Server(const testing::TempDir& dir, std::vector<std::string> args) {
    args.insert(args.begin(), {"--serve", "--port", "0"});
    const testing::Child child = testing::Start(args, dir.path(), false);
    pid_ = child.pid;
    out_ = child.out;
    // The address line, or the end of the output.
    char c = 0;
    while (pid_ && ::read(out_, &c, 1) == 1 && c != '\n') first_line_ += c;
    const size_t colon = first_line_.find("127.0.0.1:");
    if (colon != std::string::npos) port_ = std::atoi(first_line_.c_str() + colon + 10);
  }
  ~Server() { Stop(); }

  // Ctrl-C; the exit status and whatever was printed after the address line.
  int Stop() {
    if (pid_ == 0) return status_;
    ::kill(pid_, SIGINT);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = 0;
    char buffer[4096];
    for (ssize_t n; (n = ::read(out_, buffer, sizeof buffer)) > 0;) rest_.append(buffer, static_cast<size_t>(n));
    ::close(out_);
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return status_;
  }

  httplib::Result Get(const std::string& path, const std::string& host = "") {
    httplib::Client client("127.0.0.1", port_);
    client.set_read_timeout(30, 0);
    httplib::Headers headers;
    if (!host.empty()) headers.emplace("Host", host);
    return client.Get(path, headers);
  }
  // The body when the answer is 200, else "<status>".
  std::string Body(const std::string& path) {
    auto result = Get(path);
    if (!result) return "<none>";
    return result->status == 200 ? result->body : "<" + std::to_string(result->status) + ">";
  }
  // The body once it holds `part`, as the server catches up with a change on disk.
  std::string Await(const std::string& path, const std::string& part) {
    std::string body;
    for (int i = 0; i < 400 && body.find(part) == std::string::npos; ++i) {
      if (i > 0) std::this_thread::sleep_for(25ms);
      body = Body(path);
    }
    return body;
  }

  const std::string& first_line() const { return first_line_; }
  const std::string& rest() const { return rest_; }
  int port() const { return port_; }

 private:
  pid_t pid_ = 0;
  int out_ = -1;
  int port_ = 0;
  int status_ = -1;
  std::string first_line_, rest_;
};

class ServeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WritePam(dir_ / "pic.pam", 4, 4, std::vector<uint32_t>(16, 0xFF30C060));
    ASSERT_TRUE(testing::Ffmpeg("-f lavfi -i sine=frequency=440:duration=1 -ac 2 \"" + (dir_ / "tone.wav") + "\""));
    dir_.Write("movie.xml", kScript);
  }
  testing::TempDir dir_;
};

// Each frame the page shows is the picture --frame writes, byte for byte, at the script's scale
// and at another; the timeline and the problems say what the script holds and where.
TEST_F(ServeTest, FramesTimelineAndProblemsAreTheRendersOwn) {
  for (const char* scale : {"", "0.5"}) {
    std::vector<std::string> scaled;
    if (*scale) scaled = {"--scale", scale};
    Server server(dir_, [&] { auto args = scaled; args.push_back("movie.xml"); return args; }());
    ASSERT_GT(server.port(), 0) << server.first_line();
    EXPECT_EQ(server.first_line(), "プレビュー : http://127.0.0.1:" + std::to_string(server.port()) + "/ (Ctrl-C で終了します)");
    // Out of order and again, with objects coming on and going between the asks.
    for (const char* time : {"1.5", "0", "2.95", "1.5", "0.05"}) {
      auto args = scaled;
      args.insert(args.end(), {"--frame", time, "-o", "shot.png", "movie.xml"});
      ASSERT_EQ(testing::RunTalmora(args, dir_.path()).status, 0);
      EXPECT_EQ(server.Body(std::string("/frame?t=") + time), testing::ReadFile(dir_ / "shot.png")) << time << scale;
    }
    const std::string jpeg = server.Body("/frame?t=1&size=half&format=jpeg");
    EXPECT_TRUE(jpeg.starts_with("\xFF\xD8\xFF")) << jpeg.substr(0, 8);
  }
  Server server(dir_, {"movie.xml"});
  EXPECT_EQ(server.Body("/timeline"),
            R"({"version":1,"error":"","width":160,"height":90,"fps":10,"length":3,"frames":30,"elements":[)"
            R"({"tag":"image","line":2,"start":0,"end":2,"depth":2,"label":"pic.pam"},)"
            R"({"tag":"text","line":3,"start":1,"end":3,"depth":5,"label":"Hi"},)"
            R"({"tag":"sound","line":4,"start":0.5,"end":1.5,"depth":null,"label":"tone.wav"}]})");
  EXPECT_EQ(server.Body("/problems"), R"({"version":1,"error":"","problems":[]})");
  EXPECT_EQ(server.Body("/source"), kScript);
  EXPECT_NE(server.Body("/").find("<title>talmora プレビュー</title>"), std::string::npos);
  // The window's mix: a WAV of 44.1 kHz stereo 16-bit samples, 0.5 s of them.
  const std::string wav = server.Body("/sound?from=0.25&to=0.75");
  EXPECT_TRUE(wav.starts_with("RIFF")) << wav.substr(0, 8);
  EXPECT_EQ(wav.size(), 44u + 22050u * 4u);
}

// Only the page's endpoints, only through the loopback address and this port, only well-formed
// times inside the movie.
TEST_F(ServeTest, RefusesWhatThePageNeverAsks) {
  Server server(dir_, {"movie.xml"});
  const std::string port = std::to_string(server.port());
  const std::vector<std::pair<std::string, int>> asks = {
      {"/frame?t=3", 400},       {"/frame?t=-0.1", 400},      {"/frame?t=1e999", 400},
      {"/frame?t=1s", 400},      {"/frame", 400},             {"/frame?t=1&size=huge", 400},
      {"/frame?t=1&format=gif", 400}, {"/frame?t=1&path=/etc/passwd", 400}, {"/timeline?x=1", 400},
      {"/sound?from=1&to=1", 400},    {"/sound?from=0&to=11", 400},     {"/sound?from=3&to=4", 400},
      {"/movie.xml", 404},       {"/pic.pam", 404},           {"/../movie.xml", 404},
      {"/frame?t=2.9", 200},     {"/sound?from=2.5&to=4", 200},
  };
  for (const auto& [path, status] : asks) {
    const auto result = server.Get(path);
    ASSERT_TRUE(result) << path;
    EXPECT_EQ(result->status, status) << path << " " << result->body;
  }
  for (const std::string& host : std::vector<std::string>{"evil.example:" + port, "127.0.0.1:" + std::to_string(server.port() + 1),
                                  std::string("127.0.0.1"), "[::1]:" + port, "localhost.evil.example:" + port}) {
    EXPECT_EQ(server.Get("/timeline", host)->status, 403) << host;
  }
  EXPECT_EQ(server.Get("/timeline", "localhost:" + port)->status, 200);
  httplib::Client client("127.0.0.1", server.port());
  EXPECT_EQ(client.Post("/timeline", "", "text/plain")->status, 405);
  // A port already taken, and a script that is not there, end at once.
  const testing::RunResult taken = testing::RunTalmora({"--serve", "--port", port, "movie.xml"}, dir_.path());
  EXPECT_EQ(taken.out, "エラー : 127.0.0.1 のポート " + port + " で待ち受けできません\n");
  EXPECT_EQ(taken.status, 1);
  const testing::RunResult missing = testing::RunTalmora({"--serve", "gone.xml"}, dir_.path());
  EXPECT_EQ(missing.out, "エラー : xmlファイルが見つかりません\n");
  EXPECT_EQ(missing.status, 255);
}

// Saving the script reads it again: a new problem and new frames without a restart; a script
// that no longer loads says why and leaves the last good frames. Ctrl-C ends it with 130 and
// nothing written.
TEST_F(ServeTest, FollowsTheScriptOnDiskAndLeavesNothing) {
  const std::set<std::string> before = testing::Names(dir_.path());
  Server server(dir_, {"movie.xml"});
  const std::string first = server.Body("/frame?t=0.5");
  std::string edited = kScript;
  edited.replace(edited.find("r=\"0.2\""), 7, "r=\"0.9\"");
  edited.replace(edited.find("fontsize"), 8, "fontsise");
  // As an editor saves: a new file renamed over the old.
  dir_.Write("movie.xml.new", edited);
  std::filesystem::rename(dir_ / "movie.xml.new", dir_ / "movie.xml");
  const std::string problem = "{\"line\":3,\"text\":\"<text>: ";
  EXPECT_NE(server.Await("/problems", problem).find(problem), std::string::npos);
  EXPECT_NE(server.Body("/timeline").find("\"version\":2,\"error\":\"\""), std::string::npos);
  const std::string second = server.Body("/frame?t=0.5");
  EXPECT_NE(second, first);
  // A picture it names, written in place.
  WritePam(dir_ / "pic.pam", 4, 4, std::vector<uint32_t>(16, 0xFFFFFFFF));
  server.Await("/timeline", "\"version\":3,");
  const std::string third = server.Body("/frame?t=0.5");
  EXPECT_NE(third, second);
  dir_.Write("movie.xml", "<talmora><image");
  const std::string broken = server.Await("/timeline", "\"version\":4,");
  EXPECT_NE(broken.find("\"version\":4,\"error\":\"エラー"), std::string::npos) << broken;
  EXPECT_NE(broken.find("\"elements\":[{\"tag\":\"image\""), std::string::npos) << broken;
  EXPECT_EQ(server.Body("/frame?t=0.5"), third);
  EXPECT_EQ(server.Stop(), 130);
  EXPECT_EQ(server.rest(), "");
  std::set<std::string> after = testing::Names(dir_.path());
  EXPECT_EQ(after, before);
}

// Fast scrubbing draws only the newest frame asked for: an older ask still waiting gives way.
TEST_F(ServeTest, TheNewestAskWins) {
  const std::string script = testing::ReadFile(dir_ / "movie.xml");
  ASSERT_EQ(::chdir(dir_.path().c_str()), 0);
  Studio studio(dir_ / "movie.xml", std::nullopt);
  const uint64_t older = studio.Ticket(Studio::Size::kView);
  const uint64_t half = studio.Ticket(Studio::Size::kHalf);
  const uint64_t newer = studio.Ticket(Studio::Size::kView);
  std::string bytes;
  EXPECT_EQ(studio.Frame(older, Studio::Size::kView, 1.0, Studio::Format::kPng, bytes), Studio::Drawn::kSuperseded);
  EXPECT_EQ(studio.Frame(half, Studio::Size::kHalf, 1.0, Studio::Format::kPng, bytes), Studio::Drawn::kDone);
  EXPECT_EQ(studio.Frame(newer, Studio::Size::kView, 3.0, Studio::Format::kPng, bytes), Studio::Drawn::kOutside);
}

}  // namespace
}  // namespace talmora
