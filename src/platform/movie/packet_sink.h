#pragma once

struct AVPacket;

namespace talmora {

// Where a compressor's packets go: pts and dts in frames, flagged key frame or not.
class PacketSink {
 public:
  virtual ~PacketSink() = default;
  virtual bool Write(AVPacket& packet) = 0;
};

}  // namespace talmora
