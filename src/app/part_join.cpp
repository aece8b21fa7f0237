#include "app/part_join.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "app/joined_output.h"
#include "app/output_paths.h"
#include "app/part_record.h"
#include "audio/wav_header.h"
#include "platform/console/reporter.h"
#include "platform/files/pending_file.h"
#include "platform/movie/frame_compressor.h"
#include "platform/movie/joined_file.h"
#include "script/run_outcome.h"
#include "video/movie_render.h"

namespace talmora {
namespace {

// The file's first `most` bytes, or all of a shorter one; empty when it cannot be read.
std::string ReadHead(const std::string& path, size_t most) {
  std::string text;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return text;
  char block[4096];
  for (ssize_t n; text.size() < most && (n = ::read(fd, block, std::min(sizeof block, most - text.size()))) > 0;) {
    text.append(block, static_cast<size_t>(n));
  }
  ::close(fd);
  return text;
}

// A record is a few hundred bytes; anything far longer is no record.
constexpr size_t kMostRecordBytes = 1 << 16;

// The file's size; -1 when there is no such file.
int64_t SizeOf(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) ? int64_t{info.st_size} : -1;
}

std::string Number(const PartNumber& part) { return std::to_string(part.index) + "/" + std::to_string(part.count); }

// What is wrong with the part, as the rest of its line after its number; empty when it is whole
// and of this script and these options.
std::string PartProblem(const PartFiles& files, const PartNumber& part, const PartRecord& expected,
                        std::optional<PartRecord>& record) {
  const std::string text = ReadHead(files.record, kMostRecordBytes);
  if (text.empty()) {
    if (SizeOf(files.movie) < 0 && SizeOf(files.track) < 0) return "がありません : " + files.movie;
    return "は書き終わっていません (記録がありません) : " + files.record;
  }
  record = ReadRecord(text);
  if (!record) return "の記録が読めません : " + files.record;
  if (record->part.index != part.index || record->part.count != part.count) {
    return "の記録は部品 " + Number(record->part) + " のものです : " + files.record;
  }
  if (record->made_by != expected.made_by) return "は別の版で描かれています (" + record->made_by + ") : " + files.record;
  if (record->script != expected.script) return "は別のスクリプトから描かれています : " + files.record;
  if (record->options != expected.options) {
    return "は別のオプションで描かれています (" + (record->options.empty() ? "なし" : record->options) + ") : " +
           files.record;
  }
  if (SizeOf(files.movie) != record->movie_bytes) {
    return "は書き終わっていません (動画が記録と違います) : " + files.movie;
  }
  if (record->track_bytes >= 0 && SizeOf(files.track) != record->track_bytes) {
    return "は書き終わっていません (音声が記録と違います) : " + files.track;
  }
  return {};
}

// Whether the part continues the one before it (or starts the movie) as one render's frames.
std::string SequenceProblem(const PartRecord& record, const PartRecord* before, const PartFiles& files) {
  const int32_t expected = before ? before->end : 0;
  if (record.first != expected || record.end < record.first) {
    return "のフレーム " + std::to_string(record.first) + "-" + std::to_string(record.end) + " は " +
           (before ? "前の部品の終わり " : "動画の始め ") + std::to_string(expected) + " から続いていません : " +
           files.record;
  }
  if (before && (record.total != before->total || record.fps != before->fps || record.width != before->width ||
                 record.height != before->height || record.fourcc != before->fourcc ||
                 record.stream_header != before->stream_header || (record.track_bytes < 0) != (before->track_bytes < 0))) {
    return "の動画の形式が前の部品と違います (圧縮形式のスライス数がコア数で変わる機械どうしなど) : " + files.record;
  }
  if (record.part.index == record.part.count && record.end != record.total) {
    return "のフレーム " + std::to_string(record.first) + "-" + std::to_string(record.end) + " は動画の終わり " +
           std::to_string(record.total) + " まで届いていません : " + files.record;
  }
  return {};
}

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Appends the samples of the track at `part` to `fd`; false with errno set.
bool CopySamples(int fd, const std::string& part, int64_t frames) {
  const int in = ::open(part.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  std::vector<char> block(1 << 20);
  int64_t left = frames * kTrackFrameBytes;
  bool copied = ::lseek(in, kWavHeaderBytes, SEEK_SET) == kWavHeaderBytes;
  while (copied && left > 0) {
    const ssize_t n = ::read(in, block.data(), static_cast<size_t>(std::min<int64_t>(left, int64_t(block.size()))));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;  // shorter than its header says
      copied = false;
      break;
    }
    copied = WriteAll(fd, block.data(), static_cast<size_t>(n));
    left -= n;
  }
  const int error = errno;
  ::close(in);
  errno = error;
  return copied;
}

// The track at `path` whose samples are the parts' one after another. Empty on success, else
// the cause.
std::string JoinTracks(const std::string& path, const std::vector<std::string>& parts) {
  std::vector<int64_t> frames;
  int64_t total = 0;
  for (const std::string& part : parts) {
    WavHeaderBytes header{};
    const std::string head = ReadHead(part, kWavHeaderBytes);
    if (head.size() == header.size()) std::memcpy(header.data(), head.data(), header.size());
    frames.push_back(DeclaredFrames(header));
    if (frames.back() < 0 || SizeOf(part) != kWavHeaderBytes + frames.back() * kTrackFrameBytes) {
      return part + " は talmora の WAV ではありません";
    }
    total += frames.back();
  }
  if (total > kMaxTrackFrames) return "WAVファイルの上限(4GB)を超えます";
  PendingFile file(path);
  if (!file.IsOpen()) return std::strerror(errno);
  const int fd = ::open(file.Path().c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) return std::strerror(errno);
  const WavHeaderBytes header = WavHeader(total);
  bool written = WriteAll(fd, reinterpret_cast<const char*>(header.data()), header.size());
  for (size_t i = 0; i < parts.size() && written; ++i) written = CopySamples(fd, parts[i], frames[i]);
  int error = errno;
  if (::close(fd) != 0 && written) {
    written = false;
    error = errno;
  }
  if (written && !file.Commit()) {
    written = false;
    error = errno;
  }
  return written ? std::string() : std::strerror(error);
}

// The parameters a render's compressor describes the stream with; the parts' own private header
// where theirs differs (a machine with another number of cores cuts FFV1 into other slices).
std::string StreamParameters(const CommandLine& line, const PartRecord& record, AVCodecParameters& parameters) {
  const CompressorInfo* info = FindCompressor(record.fourcc);
  CompressorSettings settings;
  settings.fourcc = record.fourcc;
  settings.quality = line.movie.quality.value_or(settings.quality);
  settings.keyframe = line.movie.keyframe.value_or(settings.keyframe);
  settings.data_rate = line.movie.datarate.value_or(settings.data_rate);
  const auto compressor =
      info ? FrameCompressor::Open(*info, settings, record.width, record.height, record.fps) : nullptr;
  if (!compressor || !compressor->FillParameters(parameters)) {
    return "圧縮形式 " + FourccText(record.fourcc) + " を開けませんでした";
  }
  const std::string_view own(reinterpret_cast<const char*>(parameters.extradata),
                             static_cast<size_t>(std::max(parameters.extradata_size, 0)));
  if (own == record.stream_header) return {};
  av_freep(&parameters.extradata);
  parameters.extradata_size = 0;
  if (record.stream_header.empty()) return {};
  parameters.extradata = static_cast<uint8_t*>(av_mallocz(record.stream_header.size() + AV_INPUT_BUFFER_PADDING_SIZE));
  if (!parameters.extradata) return std::strerror(ENOMEM);
  std::memcpy(parameters.extradata, record.stream_header.data(), record.stream_header.size());
  parameters.extradata_size = static_cast<int>(record.stream_header.size());
  return {};
}

}  // namespace

PartFiles PartFilesOf(const std::string& full_path, PartNumber part, std::optional<double> scale) {
  const std::string name = PartialName(part, std::nullopt, std::nullopt, scale);
  return {ReplaceExtension(full_path, name + ".avi"), ReplaceExtension(full_path, name + ".wav"),
          ReplaceExtension(full_path, name + ".txt")};
}

void JoinParts(const CommandLine& line, const std::string& full_path, const std::string& movie,
               const std::string& track, JoinedOutput* joined, Reporter& reporter,
               RunOutcome& outcome) {
  const int32_t count = *line.join;
  PartRecord expected;
  expected.made_by = MadeBy();
  expected.script = FileDigest(full_path);
  expected.options = PixelOptions(line);
  reporter.Line("部品の結合開始 : " + std::to_string(count) + " 個");
  std::vector<PartRecord> records;
  std::vector<PartFiles> files;
  bool refused = false;
  for (int32_t k = 1; k <= count; ++k) {
    const PartNumber part{k, count};
    files.push_back(PartFilesOf(full_path, part, line.scale));
    std::optional<PartRecord> record;
    std::string problem = PartProblem(files.back(), part, expected, record);
    // Whether a part follows on is only worth saying while the parts before it are whole.
    if (problem.empty() && !refused) {
      problem = SequenceProblem(*record, records.empty() ? nullptr : &records.back(), files.back());
    }
    if (!problem.empty()) {
      reporter.Line("エラー : 部品 " + Number(part) + " " + problem);
      refused = true;
    } else {
      records.push_back(*record);
    }
  }
  if (refused) {
    outcome.NoteIncomplete();
    return;
  }
  for (size_t i = 0; i < records.size(); ++i) {
    if (!records[i].failed) continue;
    reporter.Line("エラー : 部品 " + Number(records[i].part) + " では描けなかったもの、読めなかった値があります : " +
              files[i].record);
    outcome.NoteFailed();
  }

  const PartRecord& first = records.front();
  const CodecParametersPtr parameters(avcodec_parameters_alloc());
  std::string cause = parameters ? StreamParameters(line, first, *parameters) : std::strerror(ENOMEM);
  std::vector<MoviePiece> pieces;
  for (size_t i = 0; i < records.size(); ++i) pieces.push_back({files[i].movie, records[i].end - records[i].first});
  int failed_piece = -1;
  if (cause.empty()) {
    const MovieStream stream{first.fourcc, first.fps, first.width, first.height, std::string(kMovieStreamTitle)};
    cause = JoinMoviePieces(movie, line.movie.Container(), stream, *parameters, pieces, failed_piece);
    if (failed_piece >= 0) cause = pieces[static_cast<size_t>(failed_piece)].path + " : " + cause;
  }
  const bool movie_made = cause.empty();
  reporter.Line(movie_made ? "aviの結合が完了しました : " + movie : "エラー : aviの結合に失敗しました : " + movie + " (" + cause + ")");
  const bool sound = first.track_bytes >= 0;
  bool track_made = false;
  if (sound) {
    std::vector<std::string> tracks;
    for (const PartFiles& part : files) tracks.push_back(part.track);
    cause = JoinTracks(track, tracks);
    track_made = cause.empty();
    reporter.Line(track_made ? "wavの結合が完了しました : " + track
                         : "エラー : wavの結合に失敗しました : " + track + " (" + cause + ")");
  }
  if (!movie_made || (sound && !track_made)) outcome.NoteIncomplete();
  if (joined) joined->Write(movie, movie_made, sound ? track : std::string(), track_made);
}

}  // namespace talmora
