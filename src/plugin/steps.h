#pragma once
// The plug-in's work at the two host calls it runs each frame, in their order. Nothing here hooks anything: the
// plug-in's callbacks run these after the host's routines, and the browser preview, which plays the host
// without hooks, runs them itself.

namespace plugin {

// After the host's per-frame processing, with the vehicle pool current.
void FrameStep();

// After the host's drawing routine, inside its drawing pass.
void DrawStep();

}  // namespace plugin
