#pragma once

namespace talmora {

class PropertyKeeper;
class TemplateManager;
class GlobalProperty;
class Device;

// The process-wide instances an object reads and draws with, handed down from start-up.
struct ScriptContext {
  PropertyKeeper& keeper;
  const TemplateManager& templates;
  const GlobalProperty& global;
  Device* device = nullptr;
};

}  // namespace talmora
