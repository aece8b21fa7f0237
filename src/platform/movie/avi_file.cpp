#include "platform/movie/avi_file.h"

#include "platform/movie/avi_writer.h"
#include "platform/movie/frame_compressor.h"

namespace talmora {

std::unique_ptr<AviFile> AviFile::Create(const std::string& path) {
  std::unique_ptr<AviWriter> writer = AviWriter::Create(path);
  if (!writer) return nullptr;
  return std::unique_ptr<AviFile>(new AviFile(std::move(writer)));
}

AviFile::AviFile(std::unique_ptr<AviWriter> writer) : writer_(std::move(writer)) {}

AviFile::~AviFile() { Close(); }

bool AviFile::CreateStream(const AviStreamInfo& info) {
  if (has_stream_ || !writer_->AddStream(info)) return false;
  info_ = info;
  has_stream_ = true;
  return true;
}

bool AviFile::MakeCompressedStream(const CompressorSettings& settings) {
  if (!has_stream_ || compressor_) return false;
  const CompressorInfo* info = FindCompressor(settings.fccHandler);
  if (!info) return false;
  compressor_ = FrameCompressor::Open(*info, settings, info_.width, info_.height, info_.dwRate);
  return compressor_ != nullptr;
}

bool AviFile::SetFormat(const BitmapInfoHeader& format) {
  if (!compressor_ || has_format_) return false;
  if (!format.IsFrameFormat() || format.biWidth != info_.width || format.biHeight != info_.height) return false;
  const CodecParametersPtr parameters(avcodec_parameters_alloc());
  has_format_ = parameters && compressor_->FillParameters(*parameters) && writer_->Begin(*parameters);
  return has_format_;
}

bool AviFile::Write(int64_t index, std::span<const uint8_t> frame_data) {
  return has_format_ && compressor_->Compress(index, frame_data, *writer_);
}

bool AviFile::Close() {
  // Frames the encoder still holds belong to the movie, even after a failed write.
  const bool flushed = !has_format_ || compressor_->Flush(*writer_);
  has_format_ = false;
  const bool closed = writer_->Close();
  return flushed && closed;
}

}  // namespace talmora
