#include "platform/movie/joined_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "platform/files/pending_file.h"
#include "platform/libav_handles.h"
#include "platform/movie/fourcc.h"

extern "C" {
#include <libavcodec/bsf.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/mathematics.h>
}

namespace talmora {

namespace {

// The compressors each container holds, found by writing each into each and decoding it back.
struct Container {
  std::string_view extension;
  const char* muxer;
  bool takes_pcm;
  std::string_view fourccs;  // four characters each
  // Uncompressed frames: kept bottom-up as AVI has them, or turned top-down under this tag (0:
  // a Windows bitmap header, whose negative height says top-down).
  bool bottom_up;
  uint32_t raw_tag;
};

constexpr std::array<Container, 4> kContainers = {{
    {".mkv", "matroska", true, "DIB MJPGH264FMP4FFV1HFYUFFVHULRAMAGYMPNG", false, 0},
    {".mp4", "mp4", false, "MJPGH264FMP4MPNG", false, 0},
    {".mov", "mov", true, "DIB MJPGH264FMP4MAGYMPNG", false, MakeFourcc("BGRA")},
    {".avi", "avi", true, "DIB MJPGH264FMP4FFV1HFYUFFVHULRAMAGYMPNG", true, 0},
}};

const Container* ContainerOf(std::string_view path) {
  for (const Container& container : kContainers) {
    const std::string_view ext = container.extension;
    if (path.size() < ext.size()) continue;
    const std::string_view tail = path.substr(path.size() - ext.size());
    if (std::equal(tail.begin(), tail.end(), ext.begin(),
                   [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; })) {
      return &container;
    }
  }
  return nullptr;
}

bool Holds(const Container& container, uint32_t fourcc) {
  const std::string code = FourccText(fourcc);
  for (size_t i = 0; i + 4 <= container.fourccs.size(); i += 4) {
    if (container.fourccs.substr(i, 4) == code) return true;
  }
  return false;
}

std::string Cause(int error) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(error, text, sizeof text);
  return text;
}

// One stream of the output, fed from one input file. Packets come out in the time base of
// `time_base` and are rescaled at the muxer.
class Feed {
 public:
  virtual ~Feed() = default;
  virtual int AddStream(AVFormatContext& muxer) = 0;
  // The next packet; AVERROR_EOF once the stream is over.
  virtual int Next(AVPacket& packet) = 0;

  AVStream* out = nullptr;
  AVRational time_base{1, 1};
};

int OpenInput(const std::string& path, AVMediaType type, InputFormatPtr& input, AVStream*& stream) {
  AVFormatContext* raw = nullptr;
  int result = avformat_open_input(&raw, path.c_str(), nullptr, nullptr);
  if (result < 0) return result;
  input.reset(raw);
  result = av_find_best_stream(raw, type, -1, -1, nullptr, 0);
  if (result < 0) return result;
  stream = raw->streams[result];
  return 0;
}

// The next packet of `stream`, the others skipped.
int ReadStream(AVFormatContext& input, const AVStream& stream, AVPacket& packet) {
  for (;;) {
    const int result = av_read_frame(&input, &packet);
    if (result < 0 || packet.stream_index == stream.index) return result;
    av_packet_unref(&packet);
  }
}

// A stream copied from an input file as it is: both copies open and describe it alike.
class StreamCopy : public Feed {
 public:
  int Open(const std::string& path, AVMediaType type) {
    const int result = OpenInput(path, type, input_, in_);
    if (result == 0) time_base = in_->time_base;
    return result;
  }

 protected:
  // The output stream with the input's parameters, its container's tag left to the muxer.
  int CopyStream(AVFormatContext& muxer) {
    out = avformat_new_stream(&muxer, nullptr);
    if (!out) return AVERROR(ENOMEM);
    const int result = avcodec_parameters_copy(out->codecpar, in_->codecpar);
    if (result < 0) return result;
    out->codecpar->codec_tag = 0;
    out->time_base = time_base;
    return 0;
  }

  InputFormatPtr input_;
  AVStream* in_ = nullptr;
};

// The AVI's frames as they are. Uncompressed frames are stored bottom-up there, which only AVI
// says; elsewhere their rows are turned round so that they read top-down.
class VideoCopy final : public StreamCopy {
 public:
  explicit VideoCopy(const Container& container) : container_(container) {}

  int AddStream(AVFormatContext& muxer) override {
    if (const int result = CopyStream(muxer); result < 0) return result;
    out->avg_frame_rate = av_inv_q(time_base);
    if (container_.bottom_up) return 0;
    flip_ = in_->codecpar->codec_id == AV_CODEC_ID_RAWVIDEO;
    if (flip_) {
      // The demuxer's bottom-up mark goes, as the rows are turned.
      av_freep(&out->codecpar->extradata);
      out->codecpar->extradata_size = 0;
      out->codecpar->codec_tag = container_.raw_tag;
      return 0;
    }
    return out->codecpar->extradata_size > 0 ? 0 : TakeHeaders();
  }

  int Next(AVPacket& packet) override {
    int result = 0;
    if (first_) {
      av_packet_move_ref(&packet, first_.get());
      first_.reset();
    } else if ((result = ReadStream(*input_, *in_, packet)) < 0) {
      return result;
    }
    if (packet.pts == AV_NOPTS_VALUE) packet.pts = packet.dts;  // no compressor reorders frames
    if (packet.duration <= 0) packet.duration = 1;
    packet.pos = -1;
    if (flip_ && (result = FlipRows(packet)) < 0) return result;
    packet.stream_index = out->index;
    return 0;
  }

 private:
  // AVI carries the stream headers of H.264 and MPEG-4 in the first frame; other containers want
  // them before it, where the header-reading filter finds them. Its packet stays as it was.
  int TakeHeaders() {
    first_.reset(av_packet_alloc());
    if (!first_) return AVERROR(ENOMEM);
    int result = ReadStream(*input_, *in_, *first_);
    if (result == AVERROR_EOF) first_.reset();
    if (result < 0) return result == AVERROR_EOF ? 0 : result;
    const AVBitStreamFilter* filter = av_bsf_get_by_name("extract_extradata");
    if (!filter) return 0;  // a libavcodec without it: the headers stay in the first frame
    AVBSFContext* raw = nullptr;
    if (av_bsf_alloc(filter, &raw) < 0) return AVERROR(ENOMEM);
    const std::unique_ptr<AVBSFContext, FreeWith<av_bsf_free>> context(raw);
    if ((result = avcodec_parameters_copy(raw->par_in, in_->codecpar)) < 0) return result;
    raw->time_base_in = time_base;
    // Compressors it does not know keep their headers in their frames, as players expect.
    if (av_bsf_init(raw) < 0) return 0;
    const PacketPtr packet(av_packet_clone(first_.get()));
    if (!packet) return AVERROR(ENOMEM);
    if ((result = av_bsf_send_packet(raw, packet.get())) < 0 || (result = av_bsf_receive_packet(raw, packet.get())) < 0) {
      return result;
    }
    size_t size = 0;
    const uint8_t* headers = av_packet_get_side_data(packet.get(), AV_PKT_DATA_NEW_EXTRADATA, &size);
    if (!headers || size == 0) return 0;
    AVCodecParameters& parameters = *out->codecpar;
    av_freep(&parameters.extradata);
    parameters.extradata = static_cast<uint8_t*>(av_mallocz(size + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!parameters.extradata) return AVERROR(ENOMEM);
    std::memcpy(parameters.extradata, headers, size);
    parameters.extradata_size = static_cast<int>(size);
    return 0;
  }

  int FlipRows(AVPacket& packet) {
    const int height = in_->codecpar->height;
    if (height <= 0 || packet.size % height != 0) return AVERROR_INVALIDDATA;
    const int result = av_packet_make_writable(&packet);
    if (result < 0) return result;
    const size_t row = static_cast<size_t>(packet.size / height);
    swap_.resize(row);
    for (int top = 0, bottom = height - 1; top < bottom; ++top, --bottom) {
      uint8_t* upper = packet.data + row * static_cast<size_t>(top);
      uint8_t* lower = packet.data + row * static_cast<size_t>(bottom);
      std::memcpy(swap_.data(), upper, row);
      std::memcpy(upper, lower, row);
      std::memcpy(lower, swap_.data(), row);
    }
    return 0;
  }

  const Container& container_;
  bool flip_ = false;
  std::vector<uint8_t> swap_;  // one row, kept from frame to frame
  PacketPtr first_;  // read ahead for its headers
};

// The WAV's 16-bit samples as they are.
class SoundCopy final : public StreamCopy {
 public:
  int AddStream(AVFormatContext& muxer) override { return CopyStream(muxer); }

  int Next(AVPacket& packet) override {
    const int result = ReadStream(*input_, *in_, packet);
    if (result < 0) return result;
    packet.pos = -1;
    packet.stream_index = out->index;
    return 0;
  }

};

}  // namespace

// The WAV's samples encoded as AAC by libavcodec's own encoder, each packet kept in `file_` as a
// fixed header and its bytes.
class EncodedSound {
 public:
  static constexpr int64_t kBitRate = 192000;

  ~EncodedSound() {
    if (file_) std::fclose(file_);
  }

  int Encode(const std::string& path, bool global_header) {
    file_ = std::tmpfile();
    if (!file_) return AVERROR(errno);
    int result = OpenInput(path, AVMEDIA_TYPE_AUDIO, input_, in_);
    if (result < 0) return result;
    const AVCodecParameters& source = *in_->codecpar;
    if (source.codec_id != AV_CODEC_ID_PCM_S16LE || source.ch_layout.nb_channels != 2) return AVERROR_PATCHWELCOME;
    if ((result = OpenEncoder(source.sample_rate, global_header)) < 0) return result;
    const PacketPtr packet(av_packet_alloc());
    if (!packet) return AVERROR(ENOMEM);
    // Drains the encoder, sending it samples whenever it asks for more; once the track is over
    // the same drain is its flush.
    for (;;) {
      result = avcodec_receive_packet(encoder_.get(), packet.get());
      if (result == AVERROR_EOF) break;
      if (result == AVERROR(EAGAIN)) {
        if ((result = SendSamples()) < 0) return result;
        continue;
      }
      if (result < 0) return result;
      result = Keep(*packet);
      av_packet_unref(packet.get());
      if (result < 0) return result;
    }
    input_.reset();
    samples_packet_.reset();
    frame_.reset();
    if (std::fflush(file_) != 0) return AVERROR(errno);
    std::rewind(file_);
    return 0;
  }

  int AddStream(AVFormatContext& muxer, AVStream*& out) {
    out = avformat_new_stream(&muxer, nullptr);
    if (!out) return AVERROR(ENOMEM);
    out->time_base = time_base();
    return avcodec_parameters_from_context(out->codecpar, encoder_.get());
  }
  AVRational time_base() const { return encoder_->time_base; }
  bool global_header() const { return encoder_->flags & AV_CODEC_FLAG_GLOBAL_HEADER; }

  // The next packet kept; AVERROR_EOF after the last.
  int Next(AVPacket& packet) {
    Header header{};
    if (std::fread(&header, sizeof header, 1, file_) != 1) return std::feof(file_) ? AVERROR_EOF : AVERROR(EIO);
    int result = av_new_packet(&packet, header.size);
    if (result < 0) return result;
    if (header.size > 0 && std::fread(packet.data, static_cast<size_t>(header.size), 1, file_) != 1) return AVERROR(EIO);
    packet.pts = header.pts;
    packet.dts = header.dts;
    packet.duration = header.duration;
    packet.flags = header.flags;
    return 0;
  }

 private:
  struct Header {
    int64_t pts, dts, duration;
    int32_t size, flags;
  };

  int OpenEncoder(int sample_rate, bool global_header) {
    const AVCodec* codec = avcodec_find_encoder_by_name("aac");
    if (!codec) return AVERROR_ENCODER_NOT_FOUND;
    encoder_.reset(avcodec_alloc_context3(codec));
    frame_.reset(av_frame_alloc());
    samples_packet_.reset(av_packet_alloc());
    if (!encoder_ || !frame_ || !samples_packet_) return AVERROR(ENOMEM);
    AVCodecContext& c = *encoder_;
    c.sample_fmt = AV_SAMPLE_FMT_FLTP;
    c.sample_rate = sample_rate;
    av_channel_layout_default(&c.ch_layout, 2);
    c.bit_rate = kBitRate;
    c.time_base = AVRational{1, c.sample_rate};
    if (global_header) c.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int result = avcodec_open2(&c, codec, nullptr);
    if (result < 0) return result;
    frame_->format = c.sample_fmt;
    frame_->sample_rate = c.sample_rate;
    frame_->nb_samples = c.frame_size;
    if ((result = av_channel_layout_copy(&frame_->ch_layout, &c.ch_layout)) < 0) return result;
    return av_frame_get_buffer(frame_.get(), 0);
  }

  int Keep(const AVPacket& packet) {
    const Header header{packet.pts, packet.dts, packet.duration, packet.size, packet.flags};
    if (std::fwrite(&header, sizeof header, 1, file_) != 1) return AVERROR(errno ? errno : EIO);
    if (packet.size > 0 && std::fwrite(packet.data, static_cast<size_t>(packet.size), 1, file_) != 1) {
      return AVERROR(errno ? errno : EIO);
    }
    return 0;
  }

  // One frame of samples, fewer at the end of the track, none once it is over.
  int SendSamples() {
    int result = av_frame_make_writable(frame_.get());
    if (result < 0) return result;
    auto* left = reinterpret_cast<float*>(frame_->data[0]);
    auto* right = reinterpret_cast<float*>(frame_->data[1]);
    AVPacket& samples = *samples_packet_;
    int filled = 0;
    while (filled < encoder_->frame_size) {
      if (offset_ >= samples.size) {
        av_packet_unref(&samples);
        offset_ = 0;
        result = ReadStream(*input_, *in_, samples);
        if (result == AVERROR_EOF) break;
        if (result < 0) return result;
        continue;
      }
      int16_t pair[2];
      if (samples.size - offset_ < static_cast<int>(sizeof pair)) return AVERROR_INVALIDDATA;
      std::memcpy(pair, samples.data + offset_, sizeof pair);
      offset_ += static_cast<int>(sizeof pair);
      left[filled] = static_cast<float>(pair[0]) / 32768.0f;
      right[filled] = static_cast<float>(pair[1]) / 32768.0f;
      ++filled;
    }
    if (filled == 0) return avcodec_send_frame(encoder_.get(), nullptr);
    frame_->nb_samples = filled;
    frame_->pts = samples_;
    samples_ += filled;
    return avcodec_send_frame(encoder_.get(), frame_.get());
  }

  std::FILE* file_ = nullptr;
  InputFormatPtr input_;
  AVStream* in_ = nullptr;
  CodecContextPtr encoder_;
  FramePtr frame_;
  PacketPtr samples_packet_;
  int offset_ = 0;
  int64_t samples_ = 0;
};

void EncodedSoundDeleter::operator()(EncodedSound* sound) const { delete sound; }

namespace {

// The track as AAC, from packets encoded ahead (by the join itself when nobody did).
class SoundToAac final : public Feed {
 public:
  explicit SoundToAac(EncodedSound& encoded) : encoded_(encoded) {}

  int AddStream(AVFormatContext& muxer) override {
    time_base = encoded_.time_base();
    return encoded_.AddStream(muxer, out);
  }

  int Next(AVPacket& packet) override {
    const int result = encoded_.Next(packet);
    if (result == 0) packet.stream_index = out->index;
    return result;
  }

 private:
  EncodedSound& encoded_;
};

// Whether the container's muxer wants the encoder's headers apart from its packets.
bool WantsGlobalHeader(const Container& container) {
  const AVOutputFormat* format = av_guess_format(container.muxer, nullptr, nullptr);
  return format && (format->flags & AVFMT_GLOBALHEADER);
}

// One feed with the packet it has ready, if any.
struct Lane {
  Feed* feed;
  PacketPtr packet;
  bool ended = false;
};

int Advance(Lane& lane) {
  const int result = lane.feed->Next(*lane.packet);
  if (result == AVERROR_EOF) lane.ended = true;
  return result == AVERROR_EOF ? 0 : result;
}

// Writes the feeds' packets in time order, so that the muxer's interleaving holds next to nothing
// whatever the movie's length.
int CopyPackets(AVFormatContext& muxer, std::vector<Lane>& lanes) {
  for (Lane& lane : lanes) {
    const int result = Advance(lane);
    if (result < 0) return result;
  }
  for (;;) {
    Lane* first = nullptr;
    for (Lane& lane : lanes) {
      if (lane.ended) continue;
      if (!first || av_compare_ts(lane.packet->dts, lane.feed->time_base, first->packet->dts,
                                  first->feed->time_base) < 0) {
        first = &lane;
      }
    }
    if (!first) return 0;
    av_packet_rescale_ts(first->packet.get(), first->feed->time_base, first->feed->out->time_base);
    int result = av_interleaved_write_frame(&muxer, first->packet.get());
    if (result < 0) return result;
    if ((result = Advance(*first)) < 0) return result;
  }
}

// Everything but the final rename.
int WriteFile(const std::string& part, const Container& container, const JoinedSources& sources) {
  VideoCopy video(container);
  int result = video.Open(sources.avi, AVMEDIA_TYPE_VIDEO);
  if (result < 0) return result;
  std::unique_ptr<Feed> sound;
  EncodedSoundPtr own_encoding;
  if (!sources.wav.empty()) {
    if (container.takes_pcm) {
      auto copy = std::make_unique<SoundCopy>();
      result = copy->Open(sources.wav, AVMEDIA_TYPE_AUDIO);
      sound = std::move(copy);
    } else {
      EncodedSound* encoded = sources.encoded;
      if (!encoded || encoded->global_header() != WantsGlobalHeader(container)) {
        own_encoding.reset(new EncodedSound);
        if ((result = own_encoding->Encode(sources.wav, WantsGlobalHeader(container))) < 0) return result;
        encoded = own_encoding.get();
      }
      sound = std::make_unique<SoundToAac>(*encoded);
    }
    if (result < 0) return result;
  }

  AVFormatContext* raw = nullptr;
  result = avformat_alloc_output_context2(&raw, nullptr, container.muxer, part.c_str());
  if (result < 0) return result;
  OutputFormatPtr muxer(raw);
  std::vector<Lane> lanes;
  lanes.push_back({&video, PacketPtr(av_packet_alloc())});
  if (sound) lanes.push_back({sound.get(), PacketPtr(av_packet_alloc())});
  for (Lane& lane : lanes) {
    if (!lane.packet) return AVERROR(ENOMEM);
    if ((result = lane.feed->AddStream(*muxer)) < 0) return result;
  }
  if ((result = avio_open(&muxer->pb, part.c_str(), AVIO_FLAG_WRITE)) < 0) return result;
  // Matroska holds uncompressed frames only as a Windows bitmap header, which states the
  // top-down rows.
  AVDictionary* options = nullptr;
  av_dict_set(&options, "allow_raw_vfw", "1", 0);
  result = avformat_write_header(muxer.get(), container.extension == ".mkv" ? &options : nullptr);
  av_dict_free(&options);
  if (result < 0) return result;
  if ((result = CopyPackets(*muxer, lanes)) < 0) return result;
  if ((result = av_write_trailer(muxer.get())) < 0) return result;
  return avio_closep(&muxer->pb);
}

}  // namespace

std::vector<std::string_view> JoinedExtensions() {
  std::vector<std::string_view> extensions;
  for (const Container& container : kContainers) extensions.push_back(container.extension);
  return extensions;
}

bool ContainerHolds(std::string_view path, uint32_t fourcc) {
  const Container* container = ContainerOf(path);
  return container && Holds(*container, fourcc);
}

std::string_view ContainerFor(uint32_t fourcc) {
  for (const Container& container : kContainers) {
    if (Holds(container, fourcc)) return container.extension;
  }
  return {};
}

std::string JoinMoviePieces(const std::string& path, const MovieContainer& container, const MovieStream& stream,
                            const AVCodecParameters& parameters, const std::vector<MoviePiece>& pieces,
                            int& failed_piece) {
  failed_piece = -1;
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return Cause(AVERROR(EISDIR));
  PendingFile file(path);
  if (!file.IsOpen()) return Cause(AVERROR(errno));
  const std::unique_ptr<MovieFile> movie = container.create(file.Path());
  const PacketPtr packet(av_packet_alloc());
  if (!movie || !packet) return Cause(AVERROR(ENOMEM));
  const auto written_error = [&movie] { return Cause(AVERROR(movie->WriteError() ? movie->WriteError() : EIO)); };
  if (!movie->AddStream(stream) || !movie->Begin(parameters, AVRational{1, stream.rate > 0 ? stream.rate : 1})) {
    return written_error();
  }
  int64_t index = 0;  // in the whole movie
  for (size_t n = 0; n < pieces.size(); ++n) {
    InputFormatPtr input;
    AVStream* in = nullptr;
    int result = OpenInput(pieces[n].path, AVMEDIA_TYPE_VIDEO, input, in);
    int32_t frames = 0;
    while (result >= 0 && (result = ReadStream(*input, *in, *packet)) >= 0) {
      if (frames++ == pieces[n].frames) {
        result = AVERROR_INVALIDDATA;
        break;
      }
      // AVI chunks are frames in order; the file numbers them afresh.
      packet->pts = packet->dts = index++;
      packet->duration = 1;
      packet->pos = -1;
      const bool copied = movie->Write(*packet);
      av_packet_unref(packet.get());
      if (!copied) return written_error();
    }
    av_packet_unref(packet.get());
    if (result == AVERROR_EOF && frames != pieces[n].frames) result = AVERROR_INVALIDDATA;
    if (result != AVERROR_EOF) {
      failed_piece = static_cast<int>(n);
      return Cause(result);
    }
  }
  if (!movie->Close()) return written_error();
  if (!file.Commit()) return Cause(AVERROR(errno));
  return {};
}

bool JoinedSoundIsEncoded(std::string_view path) {
  const Container* container = ContainerOf(path);
  return container && !container->takes_pcm;
}

EncodedSoundPtr EncodeJoinedSound(std::string_view path, const std::string& wav) {
  const Container* container = ContainerOf(path);
  if (!container || container->takes_pcm) return nullptr;
  EncodedSoundPtr encoded(new EncodedSound);
  return encoded->Encode(wav, WantsGlobalHeader(*container)) < 0 ? nullptr : std::move(encoded);
}

std::string WriteJoinedFile(const std::string& path, const JoinedSources& sources) {
  const Container* container = ContainerOf(path);
  if (!container) return Cause(AVERROR_MUXER_NOT_FOUND);
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return Cause(AVERROR(EISDIR));
  // Grown under a temporary name, so that an interruption or a failure leaves no part of it.
  PendingFile file(path);
  if (!file.IsOpen()) return Cause(AVERROR(errno));
  int result = WriteFile(file.Path(), *container, sources);
  if (result >= 0 && !file.Commit()) result = AVERROR(errno);
  return result >= 0 ? std::string() : Cause(result);
}

}  // namespace talmora
