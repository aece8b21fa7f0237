#include "app/run_sequence.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

#include "app/joined_output.h"
#include "app/output_paths.h"
#include "app/runtime.h"
#include "app/script_check.h"
#include "audio/sound_maker.h"
#include "platform/console/print_line.h"
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

std::string MoviePath(const std::string& full_path, const MovieOptions& options) {
  return ReplaceExtension(full_path, std::string(options.Container().extension));
}

std::string TrackPath(const std::string& full_path) { return ReplaceExtension(full_path, ".wav"); }

// Both passes read the same tags; each starts from an empty keeper. With `joined`, the joined
// file follows them, unless the menu's compressor does not fit it: then the run stops there. A
// part past the movie's end, or a picture that was not written, leaves the run incomplete;
// `picture` is where --frame writes.
void RunMakers(Runtime& runtime, const TagList& tags, const std::string& full_path, const MovieOptions& movie_options,
               const MoviePart& part, const std::string& picture, JoinedOutput* joined) {
  RunOutcome& outcome = runtime.context.outcome;
  runtime.templates.AddTemplates(tags);
  runtime.keeper.Clear();
  const std::string avi = MoviePath(full_path, movie_options);
  double length = 0.0;
  bool movie_made = false;
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
      if (!movie.MakePicture(picture)) outcome.NoteIncomplete();
      return;
    }
    movie.Make(avi);
    length = movie.length;
    movie_made = movie.made;
  }
  if (joined && joined->Refused()) return;
  runtime.keeper.Clear();
  SoundMaker sound(runtime.factory, length);
  sound.from = part.from;
  sound.to = part.to;
  sound.ReadProperties(tags);
  const std::string wav = TrackPath(full_path);
  sound.Make(wav);
  if (joined) joined->Write(avi, movie_made, sound.Sounds().empty() ? std::string() : wav, sound.made);
}

}  // namespace

int RunSequence(Runtime& runtime, CommandLine command_line, std::istream& input) {
  if (!command_line.error.empty()) {
    PrintLine(command_line.error);
    return kFailure;
  }
  if (command_line.list_codecs) {
    ListCompressors();
    return 0;
  }
  if (command_line.scripts.size() != 1) {
    PrintLine("使い方 : talmora [xmlファイルパス]");
    return kFailure;
  }
  if (!CheckMovieOptions(command_line.movie)) return kFailure;
  // A relative output path is the user's, from the folder the program started in.
  std::optional<JoinedOutput> joined;
  if (command_line.output && !command_line.frame) joined.emplace(AbsolutePath(*command_line.output));
  if (joined && command_line.movie.codec && !joined->Admits(LookUpCompressor(*command_line.movie.codec)->fourcc)) {
    return kFailure;
  }
  const std::string& script = command_line.scripts.front();
  switch (CheckScript(script)) {
    case ScriptCheck::kMissing:
      PrintLine("エラー : xmlファイルが見つかりません");
      return kFailure;
    case ScriptCheck::kUnreadable:
      PrintLine("エラー : xmlファイルを開けませんでした");
      return kFailure;
    case ScriptCheck::kReadable:
      break;
  }
  // Paths on the command line are the start folder's, so they are settled before the change of
  // directory. Loading by the full path keeps a relative argument with a folder part loadable
  // after it, and puts the output files next to the script.
  const std::string full_path = AbsolutePath(script);
  const std::string picture = command_line.output && command_line.frame ? AbsolutePath(*command_line.output)
                                                                        : ReplaceExtension(full_path, ".png");
  if (!command_line.check) {
    std::vector<OutputFile> outputs;
    if (command_line.frame) {
      outputs.push_back({command_line.output ? "--output " : "画像", picture});
    } else {
      outputs = {{"動画", MoviePath(full_path, command_line.movie)}, {"音声", TrackPath(full_path)}};
      if (joined) outputs.push_back({"--output ", joined->path()});
    }
    // Standard error ("-") is no file of the run's.
    if (command_line.progress && *command_line.progress != "-") {
      outputs.push_back({"--progress ", *command_line.progress});
    }
    if (const std::string refusal = SameFileRefusal(script, outputs); !refusal.empty()) {
      PrintLine(refusal);
      return kFailure;
    }
  }
  MoviePart part{command_line.frame, command_line.from, command_line.to, command_line.scale};
  std::optional<ProgressReport> progress;
  if (command_line.progress && !command_line.check) {
    std::string error;
    auto file = ProgressFile::Open(*command_line.progress, error);
    if (!file) {
      PrintLine("エラー : 進み具合の出力先を開けませんでした : " + *command_line.progress + " (" + error + ")");
      return kFailure;
    }
    part.progress = &progress.emplace(std::move(file), *command_line.progress, runtime.context.outcome);
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
  {
    XMLParser parser;
    if (parser.Load(full_path)) {
      ReportUnreadNames(parser.Tags(), outcome);
      RunMakers(runtime, parser.Tags(), full_path, command_line.movie, part, picture, joined ? &*joined : nullptr);
    } else {
      outcome.NoteIncomplete();
    }
  }
  if (joined && joined->Finish() != 0) outcome.NoteIncomplete();
  progress.reset();  // every file is written: the closing block
  PrintLine("エンターキーを押すと終了します");
  std::string line;
  std::getline(input, line);
  return outcome.ExitStatus();
}

}  // namespace talmora
