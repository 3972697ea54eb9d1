#include "shell/RecordEvents.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "shell/AppState.h"

namespace {
std::vector<std::pair<RecordListener, void*>>& Listeners() {
  static std::vector<std::pair<RecordListener, void*>> listeners;
  return listeners;
}

bool g_delivering = false;
bool g_deliverAgain = false;
}  // namespace

void AddRecordListener(RecordListener listener, void* context) {
  auto& listeners = Listeners();
  auto entry = std::make_pair(listener, context);
  if (std::find(listeners.begin(), listeners.end(), entry) == listeners.end()) listeners.push_back(entry);
}

void RemoveRecordListener(RecordListener listener, void* context) {
  auto& listeners = Listeners();
  listeners.erase(std::remove(listeners.begin(), listeners.end(), std::make_pair(listener, context)),
                  listeners.end());
}

void RecordChanged() {
  if (g_app.summaryWindow) PostMessageW(g_app.summaryWindow, RefreshSummaryMessage, 0, 0);
}

void DeliverRecordChanges() {
  // Asked again from inside a listener (a message box's loop, a listener that writes): once this one is done.
  if (g_delivering) {
    g_deliverAgain = true;
    return;
  }
  g_delivering = true;
  do {
    g_deliverAgain = false;
    // Copied: a listener may close windows that stop listening.
    auto listeners = Listeners();
    for (const auto& listener : listeners) {
      auto& current = Listeners();
      if (std::find(current.begin(), current.end(), listener) != current.end())
        listener.first(listener.second);
    }
  } while (g_deliverAgain);
  g_delivering = false;
}
