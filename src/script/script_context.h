#pragma once

#include "script/run_outcome.h"

namespace talmora {

class PropertyKeeper;
class Reporter;
class TemplateManager;
class GlobalProperty;
class GraphicsDevice;
class SoundSystem;

// The process-wide instances an object reads and draws with, handed down from start-up.
struct ScriptContext {
  PropertyKeeper& keeper;
  const TemplateManager& templates;
  const GlobalProperty& global;
  Reporter& reporter;                  // where readers, objects and makers say what went wrong
  GraphicsDevice* graphics = nullptr;  // empty when the renderer did not come up
  SoundSystem* sounds = nullptr;       // likewise the sound decoder
  RunOutcome outcome{};                // what failed in this run, for its exit status
};

}  // namespace talmora
