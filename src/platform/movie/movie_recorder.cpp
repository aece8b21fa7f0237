#include "platform/movie/movie_recorder.h"

#include <cerrno>

#include "platform/movie/frame_compressor.h"

namespace talmora {

namespace {

// The step that failed, as the console has always named it.
Error Failed(const char* line) { return Error{line, true}; }

}  // namespace

Expected<std::unique_ptr<MovieRecorder>> MovieRecorder::Open(const MovieContainer& container, const std::string& path,
                                                             const MovieStream& stream,
                                                             const CompressorSettings& settings) {
  auto pending = std::make_unique<PendingFile>(path);
  if (!pending->IsOpen()) return Failed("エラー : aviファイルのオープンに失敗しました");
  std::unique_ptr<MovieFile> file = container.create(pending->Path());
  if (!file) return Failed("エラー : aviファイルのオープンに失敗しました");
  std::unique_ptr<MovieRecorder> movie(new MovieRecorder(std::move(pending), std::move(file)));
  if (!movie->CreateStream(stream)) return Failed("エラー : aviストリームの作成に失敗しました");
  if (!movie->MakeCompressedStream(settings)) return Failed("エラー : avi圧縮ストリームの作成に失敗しました");
  if (!movie->Begin()) return Failed("エラー : aviストリーム形式の設定に失敗しました");
  return movie;
}

MovieRecorder::MovieRecorder(std::unique_ptr<PendingFile> pending, std::unique_ptr<MovieFile> file)
    : pending_(std::move(pending)), file_(std::move(file)) {}

MovieRecorder::~MovieRecorder() { Close(); }

bool MovieRecorder::CreateStream(const MovieStream& stream) {
  if (has_stream_ || !file_->AddStream(stream)) return false;
  stream_ = stream;
  has_stream_ = true;
  return true;
}

bool MovieRecorder::MakeCompressedStream(const CompressorSettings& settings) {
  if (!has_stream_ || compressor_) return false;
  const CompressorInfo* info = FindCompressor(settings.fourcc);
  if (!info) return false;
  compressor_ = FrameCompressor::Open(*info, settings, stream_.width, stream_.height, stream_.rate);
  return compressor_ != nullptr;
}

bool MovieRecorder::Begin() {
  if (!compressor_ || begun_) return false;
  const CodecParametersPtr parameters(avcodec_parameters_alloc());
  begun_ = parameters && compressor_->FillParameters(*parameters) &&
           file_->Begin(*parameters, compressor_->TimeBase());
  if (begun_ && parameters->extradata_size > 0) {
    stream_header_.assign(reinterpret_cast<const char*>(parameters->extradata),
                          static_cast<size_t>(parameters->extradata_size));
  }
  return begun_;
}

int MovieRecorder::WriteError() const {
  return file_->WriteError() ? file_->WriteError() : commit_error_;
}

bool MovieRecorder::Write(int64_t index, const Frame& frame) {
  return begun_ && compressor_->Compress(index, frame, *file_);
}

bool MovieRecorder::Convert(const Frame& frame) { return begun_ && compressor_->Convert(frame); }

bool MovieRecorder::Send(int64_t index) { return begun_ && compressor_->Send(index, *file_); }

bool MovieRecorder::Repeat(int64_t index) { return begun_ && compressor_->Repeat(index, *file_); }

bool MovieRecorder::Close() {
  // Frames the encoder still holds belong to the movie, even after a failed write.
  const bool flushed = !begun_ || compressor_->Flush(*file_);
  begun_ = false;
  bool closed = file_->Close();
  // A valid file takes the old one's place, however many frames it holds; a file the disk
  // refused part of is no movie.
  if (!closed) {
    pending_->Discard();
  } else if (!pending_->Commit()) {
    if (!commit_error_) commit_error_ = errno;
    closed = false;
  }
  return flushed && closed;
}

}  // namespace talmora
