#include "engine/engine.h"

namespace velmora::engine {

void Engine::EnsureStatusLoaded() {
  if (host_.StatusLoaded()) return;
  run_state_.ResetForStatusLoad();
  host_.LoadStatus();
}

void Engine::SetLine(StatusLine line, const std::string& text) {
  EnsureStatusLoaded();
  host_.SetLine(line, text);
}

std::string Engine::GetLine(StatusLine line) {
  EnsureStatusLoaded();
  return host_.GetLine(line);
}

void Engine::SetProgress(ProgressField field, float value) {
  EnsureStatusLoaded();
  host_.SetProgress(field, value);
}

float Engine::GetProgress(ProgressField field) {
  EnsureStatusLoaded();
  return host_.GetProgress(field);
}

void Engine::SetButton(ButtonState button, bool on) {
  EnsureStatusLoaded();
  host_.SetButton(button, on);
}

}  // namespace velmora::engine
