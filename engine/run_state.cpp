#include "engine/run_state.h"

#include <utility>

namespace velmora::engine {

void RunState::EmptyQueues() {
  QueuedFiles.reset();
  QueuedFolders.reset();
}

void RunState::AddToQueue(std::optional<std::vector<std::string>>& queue, std::string item) {
  if (!queue) queue.emplace();
  queue->push_back(std::move(item));
}

void RunState::ResetForStatusLoad() {
  EmptyQueues();
  StopRequested = false;
  SkipRequested = false;
}

}  // namespace velmora::engine
