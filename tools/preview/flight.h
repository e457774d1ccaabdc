#pragma once
// The scenario flown with the real plug-in in the simulated host, and what it drew for the preview's cameras.
// The plug-in's state does not depend on the camera, and drawing changes nothing but what is drawn: so each
// frame is flown once and drawn once for each view, with the host's camera and sphere test where that view's
// camera is. The plug-in draws for the camera it is given, and a view shows only that.

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "options.h"
#include "render.h"
#include "scenario.h"

namespace preview {

struct FrameShots {
  Shot overview;
  Shot near;
};

// Whether the animation shows frame `frame` (1 to `frames`) of a flight: every third, 10 a second, ending
// with the last.
bool IsAnimationFrame(int frame, int frames);

// The overview camera with `lens`: where the options put it, or placed to take in all of `extent`.
Camera PlaceOverview(const Options& options, std::span<const Vector3> extent, const Camera& lens);

// Flies every frame but the last with the host's sphere test passing everything, places the overview camera
// around the scenario and what the plug-in drew a frame before the last, and draws the last frame for each
// view. `drawnOverFlight`, when given, gets every point drawn on the frames the animation shows. Nothing, and
// the reason, when the plug-in cannot be installed.
std::optional<FrameShots> FlyStill(const Options& options, const ScenarioSettings& settings, int hour,
                                   const Camera& overviewLens, const Camera& nearLens,
                                   std::vector<Vector3>* drawnOverFlight, std::string& error);

// Flies the flight again from its start with both cameras where they are given, and hands the shots of every
// frame the animation shows to `take`, which returns false to stop.
bool FlyAnimation(const Options& options, const ScenarioSettings& settings, int hour, const Camera& overview,
                  const Camera& near, const std::function<bool(const FrameShots&)>& take, std::string& error);

}  // namespace preview
