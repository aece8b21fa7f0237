#include "app/joined_output.h"

#include "platform/console/reporter.h"
#include "platform/movie/fourcc.h"
#include "platform/movie/joined_file.h"

namespace talmora {

namespace {

std::string CompressorName(uint32_t fourcc) {
  std::string name = FourccText(fourcc);
  while (!name.empty() && name.back() == ' ') name.pop_back();
  return name;
}

std::string Extension(const std::string& path) {
  const size_t dot = path.rfind('.');
  return dot == std::string::npos ? std::string() : path.substr(dot);
}

}  // namespace

bool JoinedOutput::Admits(uint32_t fourcc) {
  if (ContainerHolds(path_, fourcc)) return true;
  refused_ = true;
  reported_ = true;
  reporter_.Line("エラー : 圧縮形式 " + CompressorName(fourcc) + " は " + Extension(path_) + " ファイルに格納できません (" +
            std::string(ContainerFor(fourcc)) + " なら格納できます) : " + path_);
  return false;
}

void JoinedOutput::Prepare(const std::string& wav) {
  if (JoinedSoundIsEncoded(path_)) encoded_ = EncodeJoinedSound(path_, wav);
}

void JoinedOutput::Write(const std::string& avi, bool movie_made, const std::string& wav, bool sound_made) {
  if (!movie_made) return Fail("動画が作成されませんでした");
  if (!wav.empty() && !sound_made) return Fail("音声が作成されませんでした");
  const std::string cause = WriteJoinedFile(path_, {avi, wav, wav.empty() ? nullptr : encoded_.get()});
  encoded_.reset();
  if (!cause.empty()) return Fail(cause);
  written_ = true;
  reporter_.Line("出力ファイルの作成が完了しました : " + path_);
}

int JoinedOutput::Finish() {
  if (written_) return 0;
  Fail("動画が作成されませんでした");
  return 1;
}

void JoinedOutput::Fail(const std::string& cause) {
  if (reported_) return;
  reported_ = true;
  reporter_.Line("エラー : 出力ファイルを書き出せませんでした : " + path_ + " (" + cause + ")");
}

}  // namespace talmora
