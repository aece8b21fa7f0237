#include "platform/movie/avi_writer.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

extern "C" {
#include <libavutil/dict.h>
}

namespace talmora {

namespace {

// Where the muxer's first stream header lies: RIFF "AVI ", LIST "hdrl", the 56-byte "avih",
// then LIST "strl" opening with "strh".
constexpr int64_t kMicroSecPerFrame = 32;
constexpr int64_t kStreamHeader = 108;
constexpr int64_t kHandler = kStreamHeader + 4;
constexpr int64_t kScale = kStreamHeader + 20;
constexpr int64_t kHeadSize = kStreamHeader + 56;

bool HasTag(const std::array<char, kHeadSize>& head, size_t at, const char* tag) {
  return std::memcmp(head.data() + at, tag, 4) == 0;
}

// The system's error number behind a libav error; EIO where there is none.
int ErrnoOf(int averror) {
  const int error = AVUNERROR(averror);
  return error > 0 && error < 4096 ? error : EIO;
}

}  // namespace

std::unique_ptr<MovieFile> AviWriter::Create(const std::string& path) {
  AVFormatContext* context = nullptr;
  if (avformat_alloc_output_context2(&context, nullptr, "avi", nullptr) < 0) return nullptr;
  OutputFormatPtr muxer(context);
  // The "file:" prefix keeps a name such as "a:b.avi" from being taken for a protocol.
  if (avio_open(&muxer->pb, ("file:" + path).c_str(), AVIO_FLAG_WRITE) < 0) return nullptr;
  return std::unique_ptr<MovieFile>(new AviWriter(path, std::move(muxer)));
}

bool AviWriter::AddStream(const MovieStream& stream) {
  if (stream_ || closed_) return false;
  stream_ = avformat_new_stream(muxer_.get(), nullptr);
  if (!stream_) return false;
  chunk_time_base_ = {1, stream.rate > 0 ? stream.rate : 1};
  stream_->time_base = chunk_time_base_;
  if (av_dict_set(&stream_->metadata, "title", stream.title.c_str(), 0) < 0) return false;
  info_ = stream;
  return true;
}

bool AviWriter::Begin(const AVCodecParameters& parameters, AVRational time_base) {
  if (!stream_ || begun_ || closed_) return false;
  if (avcodec_parameters_copy(stream_->codecpar, &parameters) < 0) return false;
  // The compression code goes in the format; plain frames (BI_RGB) have none.
  stream_->codecpar->codec_tag = parameters.codec_id == AV_CODEC_ID_RAWVIDEO ? 0 : info_.fourcc;
  packet_time_base_ = time_base;
  AVDictionary* options = nullptr;
  av_dict_set(&options, "flipped_raw_rgb", "1", 0);  // BMP rows, bottom-up: positive height
  const int written = avformat_write_header(muxer_.get(), &options);
  av_dict_free(&options);
  if (!Healthy() || written < 0) return false;
  begun_ = true;
  return PatchStreamHeader();
}

// The muxer writes the format's code as the handler too, and above 1000 frames per second
// it substitutes its own rate. Put the movie's values in, once the layout is confirmed.
bool AviWriter::PatchStreamHeader() {
  AVIOContext* pb = muxer_->pb;
  avio_flush(pb);
  std::array<char, kHeadSize> head{};
  std::ifstream file(path_, std::ios::binary);
  if (!file.read(head.data(), head.size())) return false;
  if (!HasTag(head, 0, "RIFF") || !HasTag(head, 8, "AVI ") || !HasTag(head, 20, "hdrl") ||
      !HasTag(head, 24, "avih") || !HasTag(head, 96, "strl") || !HasTag(head, 100, "strh") ||
      !HasTag(head, kStreamHeader, "vids")) {
    return false;
  }

  const uint32_t rate = info_.rate > 0 ? static_cast<uint32_t>(info_.rate) : 0;
  const int64_t end = avio_tell(pb);
  avio_seek(pb, kMicroSecPerFrame, SEEK_SET);
  avio_wl32(pb, rate ? 1000000 / rate : 0);
  avio_seek(pb, kHandler, SEEK_SET);
  avio_wl32(pb, info_.fourcc);
  avio_seek(pb, kScale, SEEK_SET);
  avio_wl32(pb, 1);
  avio_wl32(pb, rate);
  avio_seek(pb, end, SEEK_SET);
  return Healthy();
}

bool AviWriter::Healthy() {
  if (!error_ && muxer_->pb && muxer_->pb->error) error_ = ErrnoOf(muxer_->pb->error);
  return error_ == 0;
}

bool AviWriter::Write(AVPacket& packet) {
  if (!begun_ || closed_) return false;
  // AVI chunks carry no time: the n-th chunk is frame n, and the muxer reads dts only to fill
  // skipped frames. So packets are rescaled to the frame rate the header states, not to the
  // time base the muxer settled on (its own above 1000 frames per second).
  av_packet_rescale_ts(&packet, packet_time_base_, chunk_time_base_);
  packet.stream_index = stream_->index;
  const bool written = av_write_frame(muxer_.get(), &packet) >= 0;
  return Healthy() && written;
}

bool AviWriter::Close() {
  if (closed_) return close_result_;
  closed_ = true;
  bool complete = true;
  if (begun_) complete = av_write_trailer(muxer_.get()) >= 0;
  if (muxer_->pb) avio_flush(muxer_->pb);
  if (!Healthy()) complete = false;
  if (const int closed = avio_closep(&muxer_->pb); closed < 0) {
    if (!error_) error_ = ErrnoOf(closed);
    complete = false;
  }
  if (!begun_) {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
    complete = false;
  }
  close_result_ = complete;
  return complete;
}

}  // namespace talmora
