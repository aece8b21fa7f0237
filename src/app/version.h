#pragma once

#include <string>

namespace talmora {

// talmora's version, then the versions of the libraries this process runs on, one per line.
std::string VersionText();

}  // namespace talmora
