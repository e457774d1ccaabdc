// zephrel-preview: flies the scenario with the real plug-in in the simulated host and paints what it drew, as a
// picture and, if asked, as an animation.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "flight.h"
#include "gif.h"
#include "options.h"
#include "picture.h"
#include "simhost.h"

namespace {

using namespace preview;

constexpr int kUsageError = 2;
constexpr int kFailure = 1;

int Fail(const std::string& message, int status) {
  std::fprintf(stderr, "zephrel-preview: %s\n", message.c_str());
  if (status == kUsageError) std::fprintf(stderr, "Try 'zephrel-preview --help'.\n");
  return status;
}

constexpr int kNoon = 12;
constexpr int kNightHour = 2;
constexpr int kAnimationWidth = 640;  // at most; the animation keeps the picture's proportions
constexpr int kAnimationDelay = 10;   // hundredths of a second per frame: three frames of flight each

// The hours at which the plug-in's sky trails show their lights.
bool IsNight(int hour) { return host::IsNightHour(static_cast<std::uint8_t>(hour)); }

struct Counts {
  int lines = 0;
  int triangles = 0;
  int lights = 0;
};

// What a view's picture holds: the batches drawn for its camera and the lights in front of it.
void Count(const Shot& shot, Counts& counts) {
  for (const simhost::Batch& batch : shot.batches) {
    if (batch.rendered && batch.primitiveType == host::kPrimitiveLineList) ++counts.lines;
    if (batch.rendered && batch.primitiveType == host::kPrimitiveTriangleList) ++counts.triangles;
  }
  for (const Light& light : shot.lights) counts.lights += SphereInView(shot.camera, light.position, light.size) ? 1 : 0;
}

int Animate(const Options& options, const ScenarioSettings& settings, int hour, const Caption& caption,
            std::vector<Vector3> extent) {
  const int width = std::min(options.width, kAnimationWidth);
  const int height =
      std::max(16, static_cast<int>(std::lround(static_cast<double>(options.height) * width / options.width)));
  const Layout layout = MakeLayout(width, height, caption);
  const float flown = FlownSeconds(FrameCount(options.seconds));
  const std::vector<Vector3> path = ScenarioExtent(settings, flown, true);
  extent.insert(extent.end(), path.begin(), path.end());
  // Both cameras stay put over the whole flight, so that the animation shows the aircraft move.
  const Camera overview = PlaceOverview(options, extent, OverviewLens(layout));
  const Camera near = NearCamera(settings, flown, NearLens(layout));
  const bool night = IsNight(hour);
  const Backdrop overviewBackdrop = PaintBackdrop(overview, night);
  const Backdrop nearBackdrop = PaintBackdrop(near, night);
  const Image captioned = PaintCaption(layout, caption);

  const std::string& file = *options.animation;
  GifWriter writer;
  if (!writer.Open(file, width, height, kAnimationDelay))
    return Fail("cannot write " + file + ": " + writer.error(), kFailure);
  std::string error;
  const bool flew = FlyAnimation(
      options, settings, hour, overview, near,
      [&](const FrameShots& shots) {
        return writer.Add(Compose(layout, caption, captioned, RenderShot(shots.overview, night, &overviewBackdrop),
                                  RenderShot(shots.near, night, &nearBackdrop)));
      },
      error);
  if (!flew) return Fail(error.empty() ? "cannot write " + file + ": " + writer.error() : error, kFailure);
  if (!writer.Close()) return Fail("cannot write " + file + ": " + writer.error(), kFailure);
  std::printf("Wrote %s (%dx%d): %d frames, 10 a second\n", file.c_str(), width, height, writer.frames());
  return 0;
}

int Run(const Options& options) {
  const ScenarioSettings settings = ReadScenarioSettings(options.ini);
  // At night when the sky trails are on, so that their lights are in the picture too.
  const int hour = options.hour.value_or(settings.replaceTrailsInTheSky ? kNightHour : kNoon);
  const bool night = IsNight(hour);
  const Caption caption =
      MakeCaption({simhost::PluginFileName(options.build), options.ini, options.seconds, hour, night, settings});
  const Layout layout = MakeLayout(options.width, options.height, caption);

  std::string error;
  std::vector<Vector3> drawnOverFlight;
  const std::optional<FrameShots> last = FlyStill(options, settings, hour, OverviewLens(layout), NearLens(layout),
                                                  options.animation ? &drawnOverFlight : nullptr, error);
  if (!last) return Fail(error, kFailure);
  const Image image = Compose(layout, caption, PaintCaption(layout, caption), RenderShot(last->overview, night),
                              RenderShot(last->near, night));
  if (!WritePng(image, options.output)) return Fail("cannot write " + options.output, kFailure);

  Counts counts;
  Count(last->overview, counts);
  Count(last->near, counts);
  const Camera& overview = last->overview.camera;
  const Camera& near = last->near.camera;
  std::printf(
      "Wrote %s (%dx%d): %s, %d frames at hour %d, camera at %.0f,%.0f,%.0f looking at %.0f,%.0f,%.0f, near camera "
      "at %.0f,%.0f,%.0f looking at %.0f,%.0f,%.0f; last frame: %d line list and %d triangle list batches, %d "
      "lights\n",
      options.output.c_str(), image.width(), image.height(), simhost::PluginFileName(options.build),
      FrameCount(options.seconds), hour, overview.position.x, overview.position.y, overview.position.z,
      overview.lookAt.x, overview.lookAt.y, overview.lookAt.z, near.position.x, near.position.y, near.position.z,
      near.lookAt.x, near.lookAt.y, near.lookAt.z, counts.lines, counts.triangles, counts.lights);
  std::fflush(stdout);
  return options.animation ? Animate(options, settings, hour, caption, std::move(drawnOverFlight)) : 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  const ParsedOptions parsed = ParseOptions(arguments);
  if (!parsed.error.empty()) return Fail(parsed.error, kUsageError);
  if (parsed.options.help) {
    std::fputs(Usage().c_str(), stdout);
    return 0;
  }
  try {
    return Run(parsed.options);
  } catch (const std::exception& failure) {  // out of memory, or a file system that fails under us
    return Fail(failure.what(), kFailure);
  }
}
