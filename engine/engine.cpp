#include "engine/engine.h"

namespace velmora::engine {

void Engine::EnsureStatusWindowLoaded() {
  if (host_.StatusWindowLoaded()) return;
  run_state_.ResetForStatusLoad();
  host_.LoadStatusWindow();
}

void Engine::SetStatusText(StatusText field, const std::string& text) {
  EnsureStatusWindowLoaded();
  host_.SetStatusText(field, text);
}

std::string Engine::GetStatusText(StatusText field) {
  EnsureStatusWindowLoaded();
  return host_.GetStatusText(field);
}

void Engine::SetProgress(ProgressField field, float value) {
  EnsureStatusWindowLoaded();
  host_.SetProgress(field, value);
}

float Engine::GetProgress(ProgressField field) {
  EnsureStatusWindowLoaded();
  return host_.GetProgress(field);
}

void Engine::SetButtonState(ButtonState field, bool on) {
  EnsureStatusWindowLoaded();
  host_.SetButtonState(field, on);
}

}  // namespace velmora::engine
