#pragma once

#include <span>

#include "script/object_factory.h"

namespace talmora {

// Every kind of object a script can hold. A new kind is its class and one row here.
std::span<const ObjectKind> ObjectKinds();

}  // namespace talmora
