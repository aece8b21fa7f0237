#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "script/attribute_map.h"
#include "script/property_keeper.h"
#include "script/run_outcome.h"

namespace talmora {

// Every reader returns true when it delivered a value and leaves `value` untouched otherwise.
// A value it refuses is printed and, given an outcome, counted there as a failure of the run.

// Plain readers: for the movie settings; no "now"/"last", no keeper.
bool FindAttribute(const AttributeMap& attributes, const std::string& name, std::string& value);
bool ReadPlainNumber(const AttributeMap& attributes, const std::string& name, double& value,
                     RunOutcome* outcome = nullptr);
bool ReadPlainInteger(const AttributeMap& attributes, const std::string& name, int32_t& value,
                      RunOutcome* outcome = nullptr);

// Property readers: apply "now" (for "time") and "last", and record the text in the keeper.
bool ReadPropertyText(PropertyKeeper& keeper, const AttributeMap& attributes,
                      const std::string& name, std::string& value);
bool ReadPropertyNumber(PropertyKeeper& keeper, const AttributeMap& attributes,
                        const std::string& name, double& value, RunOutcome* outcome = nullptr);
bool ReadPropertyInteger(PropertyKeeper& keeper, const AttributeMap& attributes,
                         const std::string& name, int32_t& value, RunOutcome* outcome = nullptr);
bool ReadPropertyFlag(PropertyKeeper& keeper, const AttributeMap& attributes,
                      const std::string& name, bool& value);

// "<name>エラー : プロパティの値が不正です - [<text>]", a failure of the run when `outcome` is given.
void PrintInvalidValue(const std::string& name, const std::string& text, RunOutcome* outcome);

// What a reader expected of a value it refused.
enum class Expectation { kNumber, kInteger, kFlag, kPositive, kNotNegative };

// For a value that reads but lies out of its range: noted in the open refusal log, or printed.
void RefuseValue(const std::string& name, const std::string& text, Expectation expected,
                 RunOutcome* outcome = nullptr);

struct Refusal {
  std::string name;
  std::string text;  // after "now"/"last"
  Expectation expected;
  // A number read from the start of its text, the rest ignored: what it was read as. Nothing was
  // refused then.
  std::optional<double> read_as = std::nullopt;
  std::string ignored = {};
};

// While one exists, the readers note every value they refuse here instead of printing the
// invalid-value line, and also the flag words they ignore and the text after a number, both without
// a word otherwise. Nests; the innermost one hears.
class RefusalLog {
 public:
  RefusalLog();
  ~RefusalLog();
  RefusalLog(const RefusalLog&) = delete;
  RefusalLog& operator=(const RefusalLog&) = delete;

  void Note(Refusal refusal) { refusals_.push_back(std::move(refusal)); }
  // The refusals noted since the last call.
  std::vector<Refusal> Take() { return std::exchange(refusals_, {}); }

 private:
  std::vector<Refusal> refusals_;
  RefusalLog* outer_;
};

}  // namespace talmora
