#include "app/run_sequence.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <exception>
#include <latch>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "app/joined_output.h"
#include "app/object_kinds.h"
#include "app/output_paths.h"
#include "app/part_join.h"
#include "app/part_record.h"
#include "app/runtime.h"
#include "app/script_check.h"
#include "audio/sound_maker.h"
#include "platform/console/reporter.h"
#include "platform/movie/compressor_catalog.h"
#include "platform/files/pending_file.h"
#include "platform/console/progress_file.h"
#include "script/file_path.h"
#include "script/xml_parser.h"
#include "video/compressor_choice.h"
#include "video/movie_maker.h"
#include "video/movie_part.h"

namespace talmora {
namespace {

constexpr int kFailure = -1;

enum class ScriptCheck { kReadable, kMissing, kUnreadable };

ScriptCheck CheckScript(const std::string& path) {
  struct stat info {};
  if (path.empty() || ::stat(path.c_str(), &info) != 0) return ScriptCheck::kMissing;
  return ReadableFilePath(path) ? ScriptCheck::kReadable : ScriptCheck::kUnreadable;
}

// Where a run writes: the movie and track, named for what they hold, and a part's record.
struct RunFiles {
  std::string movie;
  std::string track;
  std::string picture;  // --frame's
  std::optional<std::string> record;
};

RunFiles FilesOf(const CommandLine& line, const std::string& full_path) {
  RunFiles files;
  files.picture = line.output && line.frame ? AbsolutePath(*line.output) : ReplaceExtension(full_path, ".png");
  if (line.part) {
    const PartFiles part = PartFilesOf(full_path, *line.part, line.scale);
    files.movie = part.movie;
    files.track = part.track;
    files.record = part.record;
    return files;
  }
  const std::string name = PartialName(std::nullopt, line.from, line.to, line.scale);
  files.movie = ReplaceExtension(full_path, name + std::string(line.movie.Container().extension));
  files.track = ReplaceExtension(full_path, name + ".wav");
  return files;
}

// Once a part's movie and track are whole, its record says what it is; without the record the
// join takes the part as unfinished. `record` holds what the movie pass told of it.
void WriteRecord(const RunFiles& files, PartRecord record, bool sound, Reporter& reporter, RunOutcome& outcome) {
  struct stat movie_info {}, track_info {};
  record.failed = outcome.ExitStatus() != 0;
  bool whole = ::stat(files.movie.c_str(), &movie_info) == 0 && (!sound || ::stat(files.track.c_str(), &track_info) == 0);
  record.movie_bytes = movie_info.st_size;
  record.track_bytes = sound ? int64_t{track_info.st_size} : -1;
  if (whole) {
    PendingFile file(*files.record);
    const std::string text = RecordText(record);
    std::FILE* out = file.IsOpen() ? std::fopen(file.Path().c_str(), "wb") : nullptr;
    whole = out && std::fwrite(text.data(), 1, text.size(), out) == text.size();
    if (out && std::fclose(out) != 0) whole = false;
    whole = whole && file.Commit();
  }
  if (whole) return;
  reporter.Line("エラー : 部品の記録を書き出せませんでした : " + *files.record);
  outcome.NoteIncomplete();
}

// The sound pass, read on the caller's thread after the movie's, and made (and for a joined file
// that needs it, encoded) on a thread of its own while the frames render. Its track replaces the last one only once the movie pass is over, so
// that an interrupted render still leaves both as they were. What it says is held until the
// movie's lines are out, so the console reads as if the passes ran in turn; it notes its outcome
// apart and hands it over afterwards.
class SoundPass {
 public:
  SoundPass(Runtime& runtime, double length, std::string path, JoinedOutput* joined)
      : path_(std::move(path)),
        joined_(joined),
        context_{runtime.keeper, runtime.templates, runtime.global, said_, runtime.context.graphics,
                 runtime.context.sounds},
        factory_(context_, ObjectKinds()),
        maker(factory_, length) {}
  ~SoundPass() {
    MovieDone();
    if (worker_.joinable()) worker_.join();
  }

  // Begins the track beside the caller; where no thread can be had, or without Start, Finish
  // makes it.
  void Start() {
    maker.before_replacing = [this](const std::string& written) {
      if (joined_) joined_->Prepare(written);
      movie_done_.wait();
    };
    try {
      worker_ = std::thread([this] { Make(); });
    } catch (const std::system_error&) {
      maker.before_replacing = nullptr;
    }
  }
  void MovieDone() {
    if (!movie_done_.try_wait()) movie_done_.count_down();
  }
  // Waits for the track, then says what the pass said and notes what it noted.
  void Finish(Reporter& reporter, RunOutcome& outcome) {
    MovieDone();
    if (worker_.joinable()) {
      worker_.join();
    } else {
      Make();
    }
    if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
    if (!said_.Text().empty()) reporter.Raw(said_.Take());
    outcome.Add(context_.outcome);
  }

 private:
  void Make() {
    try {
      maker.Make(path_);
    } catch (...) {
      failure_ = std::current_exception();
    }
  }

  std::string path_;
  JoinedOutput* joined_;
  HeldReporter said_;
  ScriptContext context_;
  ObjectFactory factory_;
  std::latch movie_done_{1};
  std::thread worker_;
  std::exception_ptr failure_;

 public:
  SoundMaker maker;
};

// Both passes read the same tags; each starts from an empty keeper. The sound pass is read after
// the movie's and made while the frames render, unless the compressor is still to be chosen from
// the menu: then it follows the movie. With `joined`, the joined file
// follows them, unless the menu's compressor does not fit it: then the run stops there. A part
// past the movie's end, or a picture that was not written, leaves the run incomplete. A piece
// of the movie ends with its record, which `record` has begun.
void RunMakers(Runtime& runtime, const TagList& tags, const MovieOptions& movie_options, const RunFiles& files,
               const MoviePart& part, PartRecord record, JoinedOutput* joined) {
  RunOutcome& outcome = runtime.context.outcome;
  runtime.templates.AddTemplates(tags);
  runtime.keeper.Clear();
  bool movie_made = false;
  std::optional<SoundPass> sound;
  const auto read_sound = [&](double length, std::optional<double> from, std::optional<double> to) {
    runtime.keeper.Clear();
    sound.emplace(runtime, length, files.track, joined);
    sound->maker.from = from;
    sound->maker.to = to;
    sound->maker.ReadProperties(tags);
  };
  {
    MovieMaker movie(runtime.factory, runtime.device.Graphics(), movie_options);
    movie.part = part;
    movie.ReadProperties(tags);
    if (!movie.PartFits()) {
      outcome.NoteIncomplete();
      return;
    }
    // A preview is the picture alone: no movie, no sound track.
    if (part.frame) {
      if (!movie.MakePicture(files.picture)) outcome.NoteIncomplete();
      return;
    }
    std::optional<double> from = part.from, to = part.to;
    if (part.piece && movie.fps > 0) {
      // Its sound is cut where its frames are, the last piece's running to the track's end.
      const FrameRange frames = movie.Frames();
      from = static_cast<double>(frames.first) / movie.fps;
      if (part.piece->index < part.piece->count) to = static_cast<double>(frames.end) / movie.fps;
      record.first = frames.first;
      record.end = frames.end;
      record.total = movie.FrameTotal();
      record.fps = movie.fps;
    }
    // A compressor still to be chosen from the menu may refuse the joined file, which ends the
    // run before its sound; and the question may wait long for an answer.
    const bool beside = movie_options.codec.has_value();
    if (beside) {
      read_sound(movie.length, from, to);
      sound->Start();
    }
    movie.Make(files.movie);
    if (sound) sound->MovieDone();
    movie_made = movie.made;
    if (part.piece && movie.fps > 0) {
      record.width = movie.stream.width;
      record.height = movie.stream.height;
      record.fourcc = movie.stream.fourcc;
      record.stream_header = movie.stream.header;
    }
    if (!beside && !(joined && joined->Refused())) read_sound(movie.length, from, to);
  }
  if (!sound) return;
  sound->Finish(runtime.context.reporter, outcome);
  const SoundMaker& track = sound->maker;
  const bool has_sound = !track.Sounds().empty();
  if (joined) joined->Write(files.movie, movie_made, has_sound ? files.track : std::string(), track.made);
  if (part.piece && movie_made && (!has_sound || track.made)) WriteRecord(files, std::move(record), has_sound, runtime.context.reporter, outcome);
}

}  // namespace

int RunSequence(Runtime& runtime, CommandLine command_line, std::istream& input) {
  Reporter& reporter = runtime.context.reporter;
  if (!command_line.error.empty()) {
    reporter.Line(command_line.error);
    return kFailure;
  }
  if (command_line.list_codecs) {
    ListCompressors(reporter);
    return 0;
  }
  if (command_line.scripts.size() != 1) {
    reporter.Line("使い方 : talmora [xmlファイルパス]");
    return kFailure;
  }
  if (!CheckMovieOptions(command_line.movie, reporter)) return kFailure;
  if (const std::string unknown = TakePartFromEnvironment(command_line, [](const char* name) { return std::getenv(name); });
      !unknown.empty()) {
    reporter.Line(unknown);
    return kFailure;
  }
  // A relative output path is the user's, from the folder the program started in.
  std::optional<JoinedOutput> joined;
  if (command_line.output && !command_line.frame) joined.emplace(AbsolutePath(*command_line.output), reporter);
  if (joined && command_line.movie.codec && !joined->Admits(LookUpCompressor(*command_line.movie.codec)->fourcc)) {
    return kFailure;
  }
  const std::string& script = command_line.scripts.front();
  switch (CheckScript(script)) {
    case ScriptCheck::kMissing:
      reporter.Line("エラー : xmlファイルが見つかりません");
      return kFailure;
    case ScriptCheck::kUnreadable:
      reporter.Line("エラー : xmlファイルを開けませんでした");
      return kFailure;
    case ScriptCheck::kReadable:
      break;
  }
  // Paths on the command line are the start folder's, so they are settled before the change of
  // directory. Loading by the full path keeps a relative argument with a folder part loadable
  // after it, and puts the output files next to the script.
  const std::string full_path = AbsolutePath(script);
  const RunFiles files = FilesOf(command_line, full_path);
  if (!command_line.check) {
    std::vector<OutputFile> outputs;
    if (command_line.frame) {
      outputs.push_back({command_line.output ? "--output " : "画像", files.picture});
    } else {
      outputs = {{"動画", files.movie}, {"音声", files.track}};
      if (files.record) outputs.push_back({"部品の記録", *files.record});
      if (joined) outputs.push_back({"--output ", joined->path()});
    }
    // Standard error ("-") is no file of the run's.
    if (command_line.progress && *command_line.progress != "-") {
      outputs.push_back({"--progress ", *command_line.progress});
    }
    if (const std::string refusal = SameFileRefusal(script, outputs); !refusal.empty()) {
      reporter.Line(refusal);
      return kFailure;
    }
  }
  MoviePart part{command_line.frame, command_line.from, command_line.to, command_line.scale, command_line.part};
  std::optional<ProgressReport> progress;
  if (command_line.progress && !command_line.check) {
    auto file = ProgressFile::Open(*command_line.progress);
    if (!file) {
      reporter.Line("エラー : 進み具合の出力先を開けませんでした : " + *command_line.progress + " (" + file.error().what + ")");
      return kFailure;
    }
    part.progress = &progress.emplace(std::move(*file), *command_line.progress, reporter, runtime.context.outcome);
  }
  if (::chdir(FolderOf(full_path).c_str()) != 0) {
    // The script's own folder is readable: its file was just opened. Nothing to report.
  }
  // Run from an editor or a build step, the check waits for nobody.
  if (command_line.check) return CheckScriptFile(runtime, full_path, script);
  command_line.movie.input = &input;
  RunOutcome& outcome = runtime.context.outcome;
  if (joined) command_line.movie.admits = [&joined](uint32_t fourcc) { return joined->Admits(fourcc); };
  // An interrupted render leaves the last movie and track as they were, and so does one whose
  // console has gone.
  InstallInterruptCleanup();
  OnStandardOutputGone([] { ExitRemovingTemporaries(SIGPIPE); });
  if (command_line.join) {
    JoinParts(command_line, full_path, files.movie, files.track, joined ? &*joined : nullptr, reporter, outcome);
  } else {
    // A piece's record names the script as it was read.
    PartRecord record;
    if (command_line.part) {
      record.made_by = MadeBy();
      record.script = FileDigest(full_path);
      record.options = PixelOptions(command_line);
      record.part = *command_line.part;
    }
    XMLParser parser(reporter);
    if (parser.Load(full_path)) {
      ReportUnreadNames(parser.Tags(), reporter, outcome);
      RunMakers(runtime, parser.Tags(), command_line.movie, files, part, std::move(record), joined ? &*joined : nullptr);
    } else {
      outcome.NoteIncomplete();
    }
  }
  if (joined && joined->Finish() != 0) outcome.NoteIncomplete();
  progress.reset();  // every file is written: the closing block
  reporter.Line("エンターキーを押すと終了します");
  std::string line;
  std::getline(input, line);
  return outcome.ExitStatus();
}

}  // namespace talmora
