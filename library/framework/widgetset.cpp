#include "framework/widgetset.h"

#include "framework/errors.h"

namespace quorlane {
namespace {
WidgetSet* gInstalled = nullptr;
}  // namespace

#ifndef _WIN32
// Without Windows there are no windows: objects work, handles cannot be made.
WidgetSet* PlatformWidgetSet() noexcept { return nullptr; }
#endif

WidgetSet& CurrentWidgetSet() {
  WidgetSet* set = gInstalled != nullptr ? gInstalled : PlatformWidgetSet();
  if (set == nullptr) throw Exception("no widget set: this build cannot create windows");
  return *set;
}

WidgetSet* SetWidgetSet(WidgetSet* widgetSet) noexcept {
  WidgetSet* previous = gInstalled != nullptr ? gInstalled : PlatformWidgetSet();
  gInstalled = widgetSet;
  return previous;
}

}  // namespace quorlane
