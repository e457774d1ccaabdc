// The host's data, its vehicle pool and camera, and the game loop.

#include <algorithm>
#include <cstring>
#include <memory>

#include "internal.h"

namespace simhost {
namespace {

using host::HostMatrix;
using host::HostVehiclePool;
using internal::Data;

struct Pool {
  std::vector<HostVehicle> entries;
  std::vector<std::int8_t> flags;
  std::vector<HostMatrix> matrices;   // one per entry, used when the entry is given a matrix
  std::vector<std::uint8_t> drivers;  // something for a driver pointer to point at
};

SIMHOST_EARLY Pool pool;
SIMHOST_EARLY Script script;

HostVehiclePool& PoolRecord() { return Data<HostVehiclePool>(internal::kPoolRecord); }

void PointPoolRecordAtEntries() {
  HostVehiclePool& record = PoolRecord();
  record.entries = pool.entries.empty() ? nullptr : pool.entries.data();
  record.flags = pool.flags.empty() ? nullptr : pool.flags.data();
}

}  // namespace

void internal::ResetData() {
  std::memset(reinterpret_cast<void*>(At(kCodeEnd)), 0, kImageEnd - kCodeEnd);
  SetClock(1000000);  // well into a game: a clock of 0 would make every new trail point look empty
  SetTimeStep(1.0f);
  SetClockHour(12);
  SetDimFactors(0.0f, 0.0f, 0.0f);
  SetLightColour(255, 255, 255);
  ClearCameraMatrix();
  SetCameraPosition({0.0f, 0.0f, 0.0f});
  Data<HostVehiclePool*>(host::address::HostVehiclePoolPointer) = &PoolRecord();
  ResizePool(0);
  script = nullptr;
}

void SetClock(std::uint32_t ms) { Data<std::uint32_t>(host::address::HostTimeMs) = ms; }
std::uint32_t Clock() { return Data<std::uint32_t>(host::address::HostTimeMs); }
void SetTimeStep(float step) { Data<float>(host::address::HostTimeStep) = step; }
void SetClockHour(std::uint8_t hour) { Data<std::uint8_t>(host::address::HostClockHour) = hour; }

void SetDimFactors(float a, float b, float c) {
  Data<float>(host::address::HostDimFactorA) = a;
  Data<float>(host::address::HostDimFactorB) = b;
  Data<float>(host::address::HostDimFactorC) = c;
}

void SetLightColour(std::uint16_t red, std::uint16_t green, std::uint16_t blue) {
  auto& colour = Data<host::HostLightColour>(host::address::HostLightColour);
  colour.red = red;
  colour.green = green;
  colour.blue = blue;
}

void SetCameraPosition(const Vector3& position) {
  Data<host::HostCamera>(host::address::HostCamera).placement.position = position;
}

void SetCameraMatrixPosition(const Vector3& position) {
  auto& matrix = Data<HostMatrix>(internal::kCameraMatrix);
  matrix.position = position;
  Data<host::HostCamera>(host::address::HostCamera).placement.matrix = &matrix;
}

void ClearCameraMatrix() { Data<host::HostCamera>(host::address::HostCamera).placement.matrix = nullptr; }

void ResizePool(int size) {
  size = std::max(size, 0);
  pool.entries.assign(static_cast<std::size_t>(size), HostVehicle{});
  pool.flags.assign(static_cast<std::size_t>(size), -1);
  pool.matrices.assign(static_cast<std::size_t>(size), HostMatrix{});
  pool.drivers.assign(static_cast<std::size_t>(size), 0);
  PointPoolRecordAtEntries();
  PoolRecord().count = size;
}

void SetPoolCount(std::int32_t count) { PoolRecord().count = count; }
int PoolSize() { return static_cast<int>(pool.entries.size()); }
HostVehicle& Vehicle(int index) { return pool.entries.at(static_cast<std::size_t>(index)); }
void SetVehicleFree(int index, bool free) { pool.flags.at(static_cast<std::size_t>(index)) = free ? -1 : 0; }

void SetVehicleNullEntries(bool null) {
  PointPoolRecordAtEntries();
  if (null) PoolRecord().entries = nullptr;
}

HostVehicle& PlaceVehicle(int index, std::uint16_t model, const Vector3& position) {
  HostVehicle& vehicle = Vehicle(index);
  vehicle = HostVehicle{};
  vehicle.model = model;
  vehicle.placement.position = position;
  SetVehicleFree(index, false);
  return vehicle;
}

void SetVehicleMatrixPosition(int index, const Vector3& position) {
  HostMatrix& matrix = pool.matrices.at(static_cast<std::size_t>(index));
  matrix.position = position;
  Vehicle(index).placement.matrix = &matrix;
}

void SetVehiclePosition(int index, const Vector3& position) {
  HostVehicle& vehicle = Vehicle(index);
  if (vehicle.placement.matrix != nullptr)
    vehicle.placement.matrix->position = position;
  else
    vehicle.placement.position = position;
}

void SetVehicleDriver(int index, bool driver) {
  Vehicle(index).driver = driver ? &pool.drivers.at(static_cast<std::size_t>(index)) : nullptr;
}

Vector3 VehiclePosition(int index) { return host::PositionOf(Vehicle(index).placement); }

void SetScript(Script newScript) { script = std::move(newScript); }

void Frame(std::uint32_t ms) {
  SetClock(Clock() + ms);
  SetTimeStep(static_cast<float>(ms) / host::kMsPerTimeStep);
  if (script) script(Clock());
  RunSite(Site::Frame);
  RunSkyRoutine();
  RunSite(Site::Draw);
}

void Startup() { RunSite(Site::Startup); }
void Reinit() { RunSite(Site::ReinitA); }
void Shutdown() { RunSite(Site::Shutdown); }

}  // namespace simhost
