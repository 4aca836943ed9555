#include "engine/run_state.h"

#include <utility>

namespace velmora::engine {

void RunState::EmptyQueues() {
  QueuedFiles.reset();
  QueuedFolders.reset();
}

void RunState::AddToQueue(std::optional<KeyedList>& queue, std::string item, std::string key) {
  if (!queue) queue.emplace();
  queue->Add(std::move(item), std::move(key));
}

void RunState::ResetForStatusLoad() {
  EmptyQueues();
  StopRequested = false;
  SkipRequested = false;
}

}  // namespace velmora::engine
