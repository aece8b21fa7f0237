#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/crc.h>
}

namespace talmora {

// A folder of its own under the system's temporary folder, removed with its contents.
class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "talmora-render-XXXXXX").string();
    path_ = mkdtemp(pattern.data()) ? pattern : std::string();
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Encodes straight-alpha 0xAARRGGBB pixels as a PNG file with libavcodec's encoder.
inline bool WritePng(const std::string& path, int width, int height, const std::vector<uint32_t>& pixels) {
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_PNG);
  AVCodecContext* context = avcodec_alloc_context3(codec);
  AVFrame* frame = av_frame_alloc();
  AVPacket* packet = av_packet_alloc();
  bool written = false;
  context->width = width;
  context->height = height;
  context->pix_fmt = AV_PIX_FMT_RGBA;
  context->time_base = {1, 1};
  frame->width = width;
  frame->height = height;
  frame->format = AV_PIX_FMT_RGBA;
  if (avcodec_open2(context, codec, nullptr) == 0 && av_frame_get_buffer(frame, 0) == 0) {
    for (int y = 0; y < height; ++y) {
      uint8_t* row = frame->data[0] + static_cast<ptrdiff_t>(y) * frame->linesize[0];
      for (int x = 0; x < width; ++x) {
        const uint32_t p = pixels[static_cast<size_t>(y) * width + x];
        row[4 * x] = static_cast<uint8_t>(p >> 16);
        row[4 * x + 1] = static_cast<uint8_t>(p >> 8);
        row[4 * x + 2] = static_cast<uint8_t>(p);
        row[4 * x + 3] = static_cast<uint8_t>(p >> 24);
      }
    }
    if (avcodec_send_frame(context, frame) == 0 && avcodec_receive_packet(context, packet) == 0) {
      WriteBytes(path, std::vector<uint8_t>(packet->data, packet->data + packet->size));
      written = true;
    }
  }
  av_packet_free(&packet);
  av_frame_free(&frame);
  avcodec_free_context(&context);
  return written;
}

// A PNG file's bytes with the header changed to claim another size, checksum mended.
inline std::vector<uint8_t> ClaimPngSize(std::vector<uint8_t> png, uint32_t width, uint32_t height) {
  for (int i = 0; i < 4; ++i) {
    png[16 + i] = static_cast<uint8_t>(width >> (24 - 8 * i));
    png[20 + i] = static_cast<uint8_t>(height >> (24 - 8 * i));
  }
  const uint32_t crc = av_crc(av_crc_get_table(AV_CRC_32_IEEE_LE), 0xFFFFFFFF, png.data() + 12, 17) ^ 0xFFFFFFFF;
  for (int i = 0; i < 4; ++i) png[29 + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
  return png;
}

// Converts a picture with the ffmpeg command; `options` go between input and output.
inline bool Convert(const std::string& from, const std::string& to, const std::string& options = "") {
  const std::string command = "ffmpeg -nostdin -hide_banner -loglevel error -y -i '" + from + "' " +
                              options + " '" + to + "' </dev/null >/dev/null 2>&1";
  return std::system(command.c_str()) == 0 && std::filesystem::exists(to);
}

}  // namespace talmora
