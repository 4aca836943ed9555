// For the test that drives the program under a virtual display (velmora-walked, a test-only build of the
// wizard's main() with this hook; the installed program has none): when VELMORA_SCREENSHOT_DIR names a
// folder, every window is saved there as a PNG (named after the window's object name) a moment after it is
// shown, and again when it is hidden. Without the variable nothing is installed.
#pragma once

namespace velmora::wizard {

void InstallScreenshotHookFromEnvironment();

}  // namespace velmora::wizard
