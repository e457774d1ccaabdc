#include "flight.h"

#include <memory>

#include "plugin_install.h"
#include "simhost.h"

namespace preview {
namespace {

constexpr int kFramesPerAnimationFrame = 3;

// Everything the plug-in drew or lit in a record.
void AddRecordedPoints(const simhost::Record& record, std::vector<Vector3>& points) {
  for (const simhost::Batch& batch : record.batches) {
    if (!batch.rendered) continue;
    for (const std::uint16_t index : batch.indices) {
      if (index < batch.vertices.size()) points.push_back(batch.vertices[index].position);
    }
  }
  for (const Light& light : ShownLights(record)) points.push_back(light.position);
}

// A fresh host with the scenario's aircraft and clock, and the plug-in installed and started in it.
std::unique_ptr<InstalledPlugin> Start(const Options& options, const ScenarioSettings& settings, int hour, int frames,
                                       std::string& error) {
  simhost::ResetHost();
  const std::uint32_t start = StartClockForLitLastFrame(simhost::Clock(), frames);
  simhost::SetClock(start);
  simhost::SetClockHour(static_cast<std::uint8_t>(hour));
  PlaceScenarioAircraft(settings, start, FlownSeconds(frames), options.pool);
  std::unique_ptr<InstalledPlugin> installed = InstallPlugin(options.build, options.ini, error);
  if (installed) simhost::Startup();
  return installed;
}

void Stop(std::unique_ptr<InstalledPlugin>& installed) {
  simhost::Shutdown();
  installed->plugin->Unload();
  installed.reset();
}

// The host's camera where `camera` is, and its sphere test answering for what `camera` sees.
void Aim(const Camera& camera) {
  simhost::SetCameraPosition(camera.position);
  simhost::SetSphereVisibility(
      [camera](const Vector3& centre, float radius) { return SphereInView(camera, centre, radius); });
}

// Flies frame `frame` and draws it for both cameras.
FrameShots FlyAndShoot(const ScenarioSettings& settings, int frame, int frames, const Camera& overview,
                       const Camera& near) {
  Aim(overview);
  simhost::ClearRecord();
  simhost::Frame(kFrameMs);  // draws for the overview
  const std::vector<Aircraft> aircraft = ScenarioAircraft(settings, FlownSeconds(frame), FlownSeconds(frames));
  FrameShots shots;
  shots.overview = {overview, simhost::Recorded().batches, ShownLights(simhost::Recorded()), aircraft};
  Aim(near);
  simhost::ClearRecord();
  simhost::RunSite(simhost::Site::Draw);  // the same frame drawn again, for the near view
  shots.near = {near, simhost::Recorded().batches, shots.overview.lights, aircraft};
  return shots;
}

}  // namespace

bool IsAnimationFrame(int frame, int frames) { return (frames - frame) % kFramesPerAnimationFrame == 0; }

Camera PlaceOverview(const Options& options, std::span<const Vector3> extent, const Camera& lens) {
  if (options.camera) {
    Camera camera = lens;
    camera.position = *options.camera;
    camera.lookAt = options.lookAt.value_or(CentreOfBounds(extent));
    return camera;
  }
  const std::optional<Camera> fitted = options.lookAt ? FitCamera(extent, *options.lookAt, kDefaultViewDirection, lens)
                                                      : FitCameraCentred(extent, kDefaultViewDirection, lens);
  return fitted.value_or(lens);
}

std::optional<FrameShots> FlyStill(const Options& options, const ScenarioSettings& settings, int hour,
                                   const Camera& overviewLens, const Camera& nearLens,
                                   std::vector<Vector3>* drawnOverFlight, std::string& error) {
  const int frames = FrameCount(options.seconds);
  std::vector<Vector3> extent = ScenarioExtent(settings, FlownSeconds(frames));
  std::unique_ptr<InstalledPlugin> installed = Start(options, settings, hour, frames, error);
  if (!installed) return std::nullopt;
  // The plug-in fades banners by their distance from the camera.
  simhost::SetCameraPosition(PlaceOverview(options, extent, overviewLens).position);
  for (int frame = 1; frame < frames; ++frame) {
    simhost::ClearRecord();
    simhost::Frame(kFrameMs);
    if (drawnOverFlight != nullptr && IsAnimationFrame(frame, frames)) {
      AddRecordedPoints(simhost::Recorded(), *drawnOverFlight);
    }
  }
  AddRecordedPoints(simhost::Recorded(), extent);
  if (drawnOverFlight != nullptr) AddRecordedPoints(simhost::Recorded(), *drawnOverFlight);
  const FrameShots shots = FlyAndShoot(settings, frames, frames, PlaceOverview(options, extent, overviewLens),
                                       NearCamera(settings, FlownSeconds(frames), nearLens));
  Stop(installed);
  return shots;
}

bool FlyAnimation(const Options& options, const ScenarioSettings& settings, int hour, const Camera& overview,
                  const Camera& near, const std::function<bool(const FrameShots&)>& take, std::string& error) {
  const int frames = FrameCount(options.seconds);
  std::unique_ptr<InstalledPlugin> installed = Start(options, settings, hour, frames, error);
  if (!installed) return false;
  bool going = true;
  for (int frame = 1; frame <= frames && going; ++frame) {
    if (IsAnimationFrame(frame, frames)) {
      going = take(FlyAndShoot(settings, frame, frames, overview, near));
    } else {
      simhost::ClearRecord();
      simhost::Frame(kFrameMs);
    }
  }
  Stop(installed);
  return going;
}

}  // namespace preview
