#pragma once

#include <cstdint>
#include <string>

#include "platform/console/reporter.h"
#include "script/attribute_map.h"
#include "script/property_keeper.h"
#include "script/run_outcome.h"

namespace talmora {

// Every reader returns true when it delivered a value and leaves `value` untouched otherwise.
// A value it refuses goes to the reporter and, when the reporter says it and an outcome is given,
// counts there as a failure of the run.

// Plain readers: for the movie settings; no "now"/"last", no keeper.
bool FindAttribute(const AttributeMap& attributes, const std::string& name, std::string& value);
bool ReadPlainNumber(const AttributeMap& attributes, const std::string& name, double& value,
                     Reporter& reporter, RunOutcome* outcome = nullptr);
bool ReadPlainInteger(const AttributeMap& attributes, const std::string& name, int32_t& value,
                      Reporter& reporter, RunOutcome* outcome = nullptr);

// Property readers: apply "now" (for "time") and "last", and record the text in the keeper. The
// number reader also takes "now+X" and "now-X" for "time", and records the number they give.
bool ReadPropertyText(PropertyKeeper& keeper, const AttributeMap& attributes,
                      const std::string& name, std::string& value);
bool ReadPropertyNumber(PropertyKeeper& keeper, const AttributeMap& attributes,
                        const std::string& name, double& value, Reporter& reporter,
                        RunOutcome* outcome = nullptr);
bool ReadPropertyInteger(PropertyKeeper& keeper, const AttributeMap& attributes,
                         const std::string& name, int32_t& value, Reporter& reporter,
                         RunOutcome* outcome = nullptr);
// A colour as ParseColour reads it, as 0xAARRGGBB.
bool ReadPropertyColour(PropertyKeeper& keeper, const AttributeMap& attributes,
                        const std::string& name, uint32_t& value, Reporter& reporter,
                        RunOutcome* outcome = nullptr);
bool ReadPropertyFlag(PropertyKeeper& keeper, const AttributeMap& attributes,
                      const std::string& name, bool& value, Reporter& reporter);

// The invalid-value line said as it is, even to a reporter that collects refusals: for values
// the check tells of in its own words. A failure of the run when `outcome` is given.
void PrintInvalidValue(Reporter& reporter, const std::string& name, const std::string& text,
                       RunOutcome* outcome);

// For a value that reads but lies out of its range.
void RefuseValue(Reporter& reporter, const std::string& name, const std::string& text,
                 Expectation expected, RunOutcome* outcome = nullptr);

}  // namespace talmora
