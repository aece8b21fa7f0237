#include "video/compressor_menu.h"

#include <charconv>
#include <cstdio>
#include <limits>
#include <optional>
#include <string>

#include "platform/console/reporter.h"

namespace talmora {

namespace {

enum class Answer { kKeep, kCancel, kText };

constexpr int32_t kMaxInt = std::numeric_limits<int32_t>::max();

std::string_view Trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// One line of input; `text` holds it trimmed when the answer is kText.
Answer Ask(std::istream& in, Reporter& out, std::string_view prompt, std::string& text) {
  out.Line(prompt);
  if (!std::getline(in, text)) return Answer::kKeep;
  text = std::string(Trim(text));
  if (text.empty()) return Answer::kKeep;
  return text == "q" || text == "Q" ? Answer::kCancel : Answer::kText;
}

std::optional<int32_t> ParseInteger(std::string_view text, int32_t min, int32_t max) {
  int32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < min || value > max) return std::nullopt;
  return value;
}

void Reject(Reporter& out, std::string_view text) { out.Line("入力が正しくありません : [" + std::string(text) + "]"); }

const CompressorInfo* PickCompressor(std::span<const CompressorInfo* const> offered, std::string_view text) {
  if (const auto number = ParseInteger(text, 1, static_cast<int32_t>(offered.size()))) return offered[*number - 1];
  const CompressorInfo* found = LookUpCompressor(text);
  for (const CompressorInfo* info : offered) {
    if (info == found) return info;
  }
  return nullptr;
}

// Asks for one setting until the answer is valid; false on cancel.
bool AskSetting(std::istream& in, Reporter& out, const std::string& prompt, int32_t min, int32_t max, int32_t& value) {
  std::string text;
  for (;;) {
    switch (Ask(in, out, prompt + " [" + std::to_string(value) + "]", text)) {
      case Answer::kKeep:
        return true;
      case Answer::kCancel:
        return false;
      case Answer::kText:
        if (const auto parsed = ParseInteger(text, min, max)) {
          value = *parsed;
          return true;
        }
        Reject(out, text);
    }
  }
}

}  // namespace

void PrintCompressors(std::span<const CompressorInfo* const> compressors, Reporter& out) {
  int number = 0;
  for (const CompressorInfo* info : compressors) {
    char line[32];
    std::snprintf(line, sizeof line, "%3d  %s  ", ++number, FourccText(info->fourcc).c_str());
    out.Line(line + std::string(info->name));
  }
}

bool ChooseCompressor(std::span<const CompressorInfo* const> offered, std::istream& in, Reporter& out,
                      CompressorSettings& settings) {
  if (offered.empty()) return false;
  const CompressorInfo* chosen = offered.front();
  for (const CompressorInfo* info : offered) {
    if (info->fourcc == settings.fourcc) chosen = info;
  }

  out.Line("圧縮形式 :");
  PrintCompressors(offered, out);
  const std::string prompt = "番号か4文字コードを入力してください (Enter : " + FourccText(chosen->fourcc) + "、q : キャンセル)";
  std::string text;
  for (;;) {
    const Answer answer = Ask(in, out, prompt, text);
    if (answer == Answer::kCancel) return false;
    if (answer == Answer::kKeep) break;
    if (const CompressorInfo* picked = PickCompressor(offered, text)) {
      chosen = picked;
      break;
    }
    Reject(out, text);
  }

  CompressorSettings result = settings;
  result.fourcc = chosen->fourcc;
  if ((chosen->settings & kQualitySetting) &&
      !AskSetting(in, out, "品質 (0～10000、-1 : 既定)", -1, CompressorSettings::kMaxQuality, result.quality)) {
    return false;
  }
  if ((chosen->settings & kKeyFrameSetting) &&
      !AskSetting(in, out, "キーフレーム間隔 (フレーム数、0 : 自動)", 0, kMaxInt, result.keyframe)) {
    return false;
  }
  if ((chosen->settings & kDataRateSetting) &&
      !AskSetting(in, out, "データレート (KB/秒、0 : 制限なし)", 0, kMaxInt, result.data_rate)) {
    return false;
  }
  out.Line("圧縮形式 : " + FourccText(chosen->fourcc) + " " + std::string(chosen->name));
  settings = result;
  return true;
}

}  // namespace talmora
