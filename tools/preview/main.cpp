// zephrel-preview: flies the scenario with the real plug-in in the simulated host and paints what it drew.

#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "options.h"
#include "plugin_install.h"
#include "render.h"
#include "scenario.h"
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

// The hours at which the plug-in's sky trails show their lights.
bool IsNight(int hour) { return hour > 22 || hour < 7; }

// What the camera must take in: the scenario's own extent and everything the record drew or lit.
void AddRecordedPoints(const simhost::Record& record, std::vector<Vector3>& points) {
  for (const simhost::Batch& batch : record.batches) {
    if (!batch.rendered) continue;
    for (const std::uint16_t index : batch.indices) {
      if (index < batch.vertices.size()) points.push_back(batch.vertices[index].position);
    }
  }
  for (const Light& light : ShownLights(record)) points.push_back(light.position);
}

Camera ChooseCamera(const Options& options, const std::vector<Vector3>& extent) {
  Camera lens;
  lens.width = options.width;
  lens.height = options.height;
  if (options.camera) {
    lens.position = *options.camera;
    lens.lookAt = options.lookAt.value_or(CentreOfBounds(extent));
    return lens;
  }
  const std::optional<Camera> fitted = options.lookAt ? FitCamera(extent, *options.lookAt, kDefaultViewDirection, lens)
                                                      : FitCameraCentred(extent, kDefaultViewDirection, lens);
  return fitted.value_or(lens);
}

int Run(const Options& options) {
  // The flight is laid out for the plug-in's default models and heights: the preview has no reader of its own
  // for the configuration file.
  const ScenarioSettings settings;
  const int frames = FrameCount(options.seconds);
  const float flown = static_cast<float>(static_cast<std::uint32_t>(frames) * kFrameMs) / 1000.0f;
  const std::uint32_t start = StartClockForLitLastFrame(simhost::Clock(), frames);
  simhost::SetClock(start);
  simhost::SetClockHour(static_cast<std::uint8_t>(options.hour));
  PlaceScenarioAircraft(settings, start, flown);
  std::vector<Vector3> extent = ScenarioExtent(settings, flown);
  Camera camera = ChooseCamera(options, extent);
  simhost::SetCameraPosition(camera.position);  // the plug-in fades banners by their distance from it

  std::string error;
  std::unique_ptr<InstalledPlugin> installed = InstallPlugin(options.build, options.ini, error);
  if (!installed) return Fail(error, kFailure);

  simhost::Startup();
  for (int frame = 1; frame < frames; ++frame) {
    simhost::ClearRecord();
    simhost::Frame(kFrameMs);
  }
  // Frame the picture around what was drawn a frame before the last, then record the last one as seen from
  // there, with the host's visibility test answering for this camera.
  AddRecordedPoints(simhost::Recorded(), extent);
  camera = ChooseCamera(options, extent);
  simhost::SetCameraPosition(camera.position);
  simhost::SetSphereVisibility(
      [camera](const Vector3& centre, float radius) { return SphereInView(camera, centre, radius); });
  simhost::ClearRecord();
  simhost::Frame(kFrameMs);
  const simhost::Record last = simhost::Recorded();
  const std::vector<Aircraft> aircraft = ScenarioAircraft(settings, flown, flown);  // where the last frame had them
  simhost::Shutdown();
  installed->plugin->Unload();
  installed.reset();

  const std::vector<Light> lights = ShownLights(last);
  const Image image = Render(camera, {last.batches, aircraft, lights, IsNight(options.hour)});
  if (!WritePng(image, options.output)) return Fail("cannot write " + options.output, kFailure);

  int lines = 0;
  int triangles = 0;
  for (const simhost::Batch& batch : last.batches) {
    if (batch.rendered && batch.primitiveType == kLineList) ++lines;
    if (batch.rendered && batch.primitiveType == kTriangleList) ++triangles;
  }
  std::printf(
      "Wrote %s (%dx%d): %s, %d frames at hour %d, camera at %.0f,%.0f,%.0f looking at %.0f,%.0f,%.0f; "
      "last frame: %d line list and %d triangle list batches, %zu lights\n",
      options.output.c_str(), image.width(), image.height(), simhost::PluginFileName(options.build), frames,
      options.hour, camera.position.x, camera.position.y, camera.position.z, camera.lookAt.x, camera.lookAt.y,
      camera.lookAt.z, lines, triangles, lights.size());
  return 0;
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
