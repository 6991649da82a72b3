#include "recording_platform.h"

namespace quorlane {

RecordingPlatform& TestPlatform() {
  static RecordingPlatform platform;
  return platform;
}

const LanguagePlatform& CurrentLanguagePlatform() { return TestPlatform(); }

}  // namespace quorlane
