#pragma once

#include "app/device.h"
#include "app/object_kinds.h"
#include "script/global_property.h"
#include "script/object_factory.h"
#include "script/property_keeper.h"
#include "script/script_context.h"
#include "script/template_manager.h"

namespace talmora {

// The process-wide instances, made in this order at start-up and destroyed in reverse, so the
// device's lines come first and its release comes last.
struct Runtime {
  Device device;
  GlobalProperty global;
  ScriptContext context{keeper, templates, global, device.Graphics(), device.Sounds()};
  ObjectFactory factory{context, ObjectKinds()};
  PropertyKeeper keeper;
  TemplateManager templates;
};

}  // namespace talmora
