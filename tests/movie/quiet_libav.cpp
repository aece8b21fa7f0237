#include <gtest/gtest.h>

extern "C" {
#include <libavutil/log.h>
}

namespace {

// As the program does at start-up: libav's own diagnostics stay off standard error.
class QuietLibav : public ::testing::Environment {
 public:
  void SetUp() override { av_log_set_level(AV_LOG_QUIET); }
};

[[maybe_unused]] ::testing::Environment* const kQuiet = ::testing::AddGlobalTestEnvironment(new QuietLibav);

}  // namespace
