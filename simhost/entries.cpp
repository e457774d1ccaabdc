// The host's entries: a recording fake behind each, with the host's calling convention, answering as the
// host would.

#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <set>

#include "internal.h"

namespace simhost {
namespace {

using host::HostCamera;
using host::HostTexture;

struct TextureDictionary {
  std::string name;
  bool loaded = false;
};

struct Answers {
  std::function<bool(const Vector3&, float)> sphereVisible;
  bool transformSucceeds = true;
  bool dictionariesHoldTextures = true;
  std::set<std::string> missingTextures;  // names an existing dictionary lacks
};

SIMHOST_EARLY Record record;
SIMHOST_EARLY Answers answers;
SIMHOST_EARLY std::map<std::string, int> entryCalls;
SIMHOST_EARLY std::vector<TextureDictionary> dictionaries;  // slot n is dictionaries[n - 1]
SIMHOST_EARLY std::vector<std::int32_t> dictionaryStack;
std::int32_t currentDictionary = 0;
SIMHOST_EARLY std::set<HostTexture*> liveTextures;
std::uint32_t nextRaster = kFirstRaster;  // from the first again after ResetHost, so that recordings repeat

bool vectorCallsRecorded = false;
SIMHOST_EARLY std::function<void(const Call&)> callObserver;

void Count(const char* entry) {
  if (internal::recording) ++entryCalls[entry];
}

// The vector helpers are counted, and recorded only on request.
void CountVectorCall(const char* entry, std::initializer_list<std::uint32_t> args) {
  if (vectorCallsRecorded) {
    internal::RecordCall(entry, args);
  } else {
    Count(entry);
  }
}

std::uint32_t Word(const void* pointer) { return reinterpret_cast<std::uint32_t>(pointer); }

// ---- fakes ----

void HOST_CDECL PushCurrentTextureDictionary() {
  if (internal::recording) internal::RecordCall("PushCurrentTextureDictionary", {});
  dictionaryStack.push_back(currentDictionary);
}

void HOST_CDECL PopCurrentTextureDictionary() {
  if (internal::recording) internal::RecordCall("PopCurrentTextureDictionary", {});
  if (!dictionaryStack.empty()) {
    currentDictionary = dictionaryStack.back();
    dictionaryStack.pop_back();
  }
}

std::int32_t HOST_CDECL AddTextureDictionarySlot(const char* name) {
  if (internal::recording) internal::RecordCall("AddTextureDictionarySlot", {Word(name)}, name);
  dictionaries.push_back({name ? name : "", false});
  return static_cast<std::int32_t>(dictionaries.size());
}

std::int32_t HOST_CDECL LoadTextureDictionary(std::int32_t slot, const char* path) {
  if (internal::recording)
    internal::RecordCall("LoadTextureDictionary", {static_cast<std::uint32_t>(slot), Word(path)}, path);
  if (slot < 1 || slot > static_cast<std::int32_t>(dictionaries.size()) || path == nullptr) return 0;
  struct stat info {};
  dictionaries[slot - 1].loaded = stat(internal::HostFilePath(path).c_str(), &info) == 0 && S_ISREG(info.st_mode);
  return dictionaries[slot - 1].loaded ? 1 : 0;
}

std::int32_t HOST_CDECL FindTextureDictionarySlot(const char* name) {
  if (internal::recording) internal::RecordCall("FindTextureDictionarySlot", {Word(name)}, name);
  for (std::size_t i = 0; i < dictionaries.size(); ++i) {
    if (name != nullptr && dictionaries[i].name == name) return static_cast<std::int32_t>(i + 1);
  }
  return -1;
}

void HOST_CDECL SetCurrentTextureDictionary(std::int32_t slot) {
  if (internal::recording) internal::RecordCall("SetCurrentTextureDictionary", {static_cast<std::uint32_t>(slot)});
  currentDictionary = slot;
}

HostTexture* HOST_CDECL ReadTexture(const char* name, const char* maskName) {
  if (internal::recording) internal::RecordCall("ReadTexture", {Word(name), Word(maskName)}, name);
  const bool loaded = currentDictionary >= 1 && currentDictionary <= static_cast<std::int32_t>(dictionaries.size()) &&
                      dictionaries[currentDictionary - 1].loaded;
  if (!loaded || !answers.dictionariesHoldTextures) return nullptr;
  if (name != nullptr && answers.missingTextures.count(name) != 0) return nullptr;
  auto* texture = new HostTexture{reinterpret_cast<void*>(nextRaster++)};
  liveTextures.insert(texture);
  return texture;
}

void HOST_CDECL DestroyTexture(HostTexture* texture) {
  if (internal::recording) internal::RecordCall("DestroyTexture", {Word(texture)});
  if (liveTextures.erase(texture) == 1) delete texture;
}

void* HOST_CDECL TransformImmediateVertices(ImmediateVertex* vertices, std::int32_t count, void* matrix,
                                            std::uint32_t flags) {
  if (internal::recording)
    internal::RecordCall("TransformImmediateVertices",
                         {Word(vertices), static_cast<std::uint32_t>(count), Word(matrix), flags});
  if (!answers.transformSucceeds) return nullptr;
  if (internal::recording) {
    Batch batch;
    if (count > 0 && count <= 4096) batch.vertices.assign(vertices, vertices + count);
    batch.matrix = Word(matrix);
    batch.flags = flags;
    batch.renderStates = record.renderStates;
    record.batches.push_back(std::move(batch));
  }
  return vertices;
}

std::int32_t HOST_CDECL RenderImmediateIndexed(std::int32_t primitiveType, std::uint16_t* indices, std::int32_t count) {
  if (internal::recording)
    internal::RecordCall("RenderImmediateIndexed",
                         {static_cast<std::uint32_t>(primitiveType), Word(indices), static_cast<std::uint32_t>(count)});
  if (internal::recording && !record.batches.empty()) {
    Batch& batch = record.batches.back();
    batch.rendered = true;
    batch.primitiveType = primitiveType;
    if (count > 0 && count <= 65536) batch.indices.assign(indices, indices + count);
  }
  return 1;
}

std::int32_t HOST_CDECL EndImmediate() {
  if (internal::recording) internal::RecordCall("EndImmediate", {});
  if (internal::recording && !record.batches.empty()) record.batches.back().ended = true;
  return 1;
}

std::int32_t HOST_CDECL SetRenderState(std::int32_t state, std::uint32_t value) {
  if (internal::recording) internal::RecordCall("SetRenderState", {static_cast<std::uint32_t>(state), value});
  if (internal::recording) record.renderStates[state] = value;
  return 1;
}

std::uint8_t HOST_THISCALL IsSphereVisible(const HostCamera* camera, const Vector3* centre, float radius) {
  if (internal::recording)
    internal::RecordCall("IsSphereVisible",
                         {Word(camera), Word(centre), Bits(radius), Bits(centre->x), Bits(centre->y), Bits(centre->z)});
  return !answers.sphereVisible || answers.sphereVisible(*centre, radius) ? 1 : 0;
}

void HOST_THISCALL SetVector(Vector3* vector, float x, float y, float z) {
  if (internal::recording) CountVectorCall("SetVector", {Word(vector), Bits(x), Bits(y), Bits(z)});
  *vector = {x, y, z};
}

float HOST_THISCALL VectorLength(const Vector3* vector) {
  if (internal::recording) CountVectorCall("VectorLength", {Word(vector)});
  return std::sqrt(vector->x * vector->x + vector->y * vector->y + vector->z * vector->z);
}

void HOST_THISCALL CopyVector(Vector3* vector, const Vector3* source) {
  if (internal::recording) CountVectorCall("CopyVector", {Word(vector), Word(source)});
  *vector = *source;
}

void HOST_CDECL ShowLightSprite(std::uint32_t id, std::int32_t attachedTo, std::int32_t red, std::int32_t green,
                                std::int32_t blue, std::int32_t alpha, const Vector3* position, float size, float range,
                                std::int32_t texture, std::int32_t flare, std::int32_t reflection,
                                std::int32_t checkObstacles, std::int32_t streak, float angle,
                                std::int32_t longDistance, float nearRange, std::int32_t fadeState, float fadeSpeed,
                                std::int32_t onlyFromBelow, std::int32_t reflectionDelay) {
  if (!internal::recording) return;
  auto u = [](std::int32_t value) { return static_cast<std::uint32_t>(value); };
  internal::RecordCall("ShowLightSprite", {id,
                                           u(attachedTo),
                                           u(red),
                                           u(green),
                                           u(blue),
                                           u(alpha),
                                           Word(position),
                                           Bits(size),
                                           Bits(range),
                                           u(texture),
                                           u(flare),
                                           u(reflection),
                                           u(checkObstacles),
                                           u(streak),
                                           Bits(angle),
                                           u(longDistance),
                                           Bits(nearRange),
                                           u(fadeState),
                                           Bits(fadeSpeed),
                                           u(onlyFromBelow),
                                           u(reflectionDelay),
                                           Bits(position->x),
                                           Bits(position->y),
                                           Bits(position->z)});
}

void HOST_CDECL UpdateLightSprite(std::uint32_t id, const Vector3* position, float range, float angle) {
  if (!internal::recording) return;
  internal::RecordCall("UpdateLightSprite", {id, Word(position), Bits(range), Bits(angle), Bits(position->x),
                                             Bits(position->y), Bits(position->z)});
}

struct Stub {
  std::uint32_t address;
  const void* fake;
};

const Stub kStubs[] = {
    {host::address::PushCurrentTextureDictionary, reinterpret_cast<const void*>(&PushCurrentTextureDictionary)},
    {host::address::PopCurrentTextureDictionary, reinterpret_cast<const void*>(&PopCurrentTextureDictionary)},
    {host::address::AddTextureDictionarySlot, reinterpret_cast<const void*>(&AddTextureDictionarySlot)},
    {host::address::LoadTextureDictionary, reinterpret_cast<const void*>(&LoadTextureDictionary)},
    {host::address::FindTextureDictionarySlot, reinterpret_cast<const void*>(&FindTextureDictionarySlot)},
    {host::address::SetCurrentTextureDictionary, reinterpret_cast<const void*>(&SetCurrentTextureDictionary)},
    {host::address::ReadTexture, reinterpret_cast<const void*>(&ReadTexture)},
    {host::address::DestroyTexture, reinterpret_cast<const void*>(&DestroyTexture)},
    {host::address::TransformImmediateVertices, reinterpret_cast<const void*>(&TransformImmediateVertices)},
    {host::address::RenderImmediateIndexed, reinterpret_cast<const void*>(&RenderImmediateIndexed)},
    {host::address::EndImmediate, reinterpret_cast<const void*>(&EndImmediate)},
    {host::address::IsSphereVisible, reinterpret_cast<const void*>(&IsSphereVisible)},
    {host::address::SetVector, reinterpret_cast<const void*>(&SetVector)},
    {host::address::VectorLength, reinterpret_cast<const void*>(&VectorLength)},
    {host::address::CopyVector, reinterpret_cast<const void*>(&CopyVector)},
    {host::address::ShowLightSprite, reinterpret_cast<const void*>(&ShowLightSprite)},
    {host::address::UpdateLightSprite, reinterpret_cast<const void*>(&UpdateLightSprite)},
};

}  // namespace

void internal::WriteEntryStubs() {
  for (const Stub& stub : kStubs) WriteBranch(stub.address, 0xE9, stub.fake);
}

bool internal::recording = true;

void internal::RecordCall(const char* entry, std::initializer_list<std::uint32_t> args, const char* text) {
  Count(entry);
  if (!recording) return;
  record.calls.push_back({entry, args, text ? text : ""});
  if (callObserver) callObserver(record.calls.back());
}

void internal::ResetEntries() {
  record = {};
  internal::recording = true;
  vectorCallsRecorded = false;
  callObserver = nullptr;
  answers = {};
  entryCalls.clear();
  dictionaries.clear();
  dictionaryStack.clear();
  currentDictionary = 0;
  for (HostTexture* texture : liveTextures) delete texture;
  liveTextures.clear();
  nextRaster = kFirstRaster;
  // The engine holds SetRenderState at byte 32.
  auto& engine = internal::Data<host::HostEngine>(internal::kEngine);
  engine.setRenderState = &SetRenderState;
  internal::Data<host::HostEngine*>(host::address::HostEnginePointer) = &engine;
}

void SetSphereVisibility(std::function<bool(const Vector3&, float)> visible) {
  answers.sphereVisible = std::move(visible);
}
void SetTransformSucceeds(bool succeeds) { answers.transformSucceeds = succeeds; }
void SetDictionariesHoldTextures(bool hold) { answers.dictionariesHoldTextures = hold; }
void SetMissingTextures(const std::vector<std::string>& names) {
  answers.missingTextures = std::set<std::string>(names.begin(), names.end());
}

int EntryCalls(const std::string& entry) {
  const auto found = entryCalls.find(entry);
  return found == entryCalls.end() ? 0 : found->second;
}

Record& Recorded() { return record; }

void Mark(const char* label) { internal::RecordCall(label, {}); }

void ClearRecord() {
  const auto states = record.renderStates;  // the renderer's state outlives what was recorded of it
  record = {};
  record.renderStates = states;
}

void SetRecording(bool on) { internal::recording = on; }
void SetVectorCallsRecorded(bool on) { vectorCallsRecorded = on; }
void SetCallObserver(std::function<void(const Call&)> observe) { callObserver = std::move(observe); }

float AsFloat(std::uint32_t bits) {
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

std::uint32_t Bits(float value) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

std::vector<Call> CallsOf(const std::string& entry) {
  std::vector<Call> calls;
  for (const Call& call : record.calls) {
    if (call.entry == entry) calls.push_back(call);
  }
  return calls;
}

int LiveTextures() { return static_cast<int>(liveTextures.size()); }
std::int32_t CurrentTextureDictionary() { return currentDictionary; }

}  // namespace simhost

// A message box the plug-in showed: its Linux platform layer hands it here (linux.cpp), the Windows DLL's
// MessageBoxA in the PE loader's user32 too.
extern "C" void simhost_record_error_box(const char* text, const char* caption, std::uint32_t style) {
  simhost::Recorded().errorBoxes.push_back({text ? text : "", caption ? caption : "", style});
}
