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
};

SIMHOST_EARLY Record record;
bool recording = true;
SIMHOST_EARLY Answers answers;
SIMHOST_EARLY std::map<std::string, int> entryCalls;
SIMHOST_EARLY std::vector<TextureDictionary> dictionaries;  // slot n is dictionaries[n - 1]
SIMHOST_EARLY std::vector<std::int32_t> dictionaryStack;
std::int32_t currentDictionary = 0;
SIMHOST_EARLY std::set<HostTexture*> liveTextures;
std::uint32_t nextRaster = 0x7A000000;

void Count(const char* entry) {
  if (recording) ++entryCalls[entry];
}

std::uint32_t Word(const void* pointer) { return reinterpret_cast<std::uint32_t>(pointer); }

// ---- fakes ----

void HOST_CDECL PushCurrentTextureDictionary() {
  internal::RecordCall("PushCurrentTextureDictionary", {});
  dictionaryStack.push_back(currentDictionary);
}

void HOST_CDECL PopCurrentTextureDictionary() {
  internal::RecordCall("PopCurrentTextureDictionary", {});
  if (!dictionaryStack.empty()) {
    currentDictionary = dictionaryStack.back();
    dictionaryStack.pop_back();
  }
}

std::int32_t HOST_CDECL AddTextureDictionarySlot(const char* name) {
  internal::RecordCall("AddTextureDictionarySlot", {Word(name)}, name);
  dictionaries.push_back({name ? name : "", false});
  return static_cast<std::int32_t>(dictionaries.size());
}

std::int32_t HOST_CDECL LoadTextureDictionary(std::int32_t slot, const char* path) {
  internal::RecordCall("LoadTextureDictionary", {static_cast<std::uint32_t>(slot), Word(path)}, path);
  if (slot < 1 || slot > static_cast<std::int32_t>(dictionaries.size()) || path == nullptr) return 0;
  struct stat info {};
  dictionaries[slot - 1].loaded = stat(internal::HostFilePath(path).c_str(), &info) == 0 && S_ISREG(info.st_mode);
  return dictionaries[slot - 1].loaded ? 1 : 0;
}

std::int32_t HOST_CDECL FindTextureDictionarySlot(const char* name) {
  internal::RecordCall("FindTextureDictionarySlot", {Word(name)}, name);
  for (std::size_t i = 0; i < dictionaries.size(); ++i) {
    if (name != nullptr && dictionaries[i].name == name) return static_cast<std::int32_t>(i + 1);
  }
  return -1;
}

void HOST_CDECL SetCurrentTextureDictionary(std::int32_t slot) {
  internal::RecordCall("SetCurrentTextureDictionary", {static_cast<std::uint32_t>(slot)});
  currentDictionary = slot;
}

HostTexture* HOST_CDECL ReadTexture(const char* name, const char* maskName) {
  internal::RecordCall("ReadTexture", {Word(name), Word(maskName)}, name);
  const bool loaded = currentDictionary >= 1 && currentDictionary <= static_cast<std::int32_t>(dictionaries.size()) &&
                      dictionaries[currentDictionary - 1].loaded;
  if (!loaded || !answers.dictionariesHoldTextures) return nullptr;
  auto* texture = new HostTexture{reinterpret_cast<void*>(nextRaster++)};
  liveTextures.insert(texture);
  return texture;
}

void HOST_CDECL DestroyTexture(HostTexture* texture) {
  internal::RecordCall("DestroyTexture", {Word(texture)});
  if (liveTextures.erase(texture) == 1) delete texture;
}

void* HOST_CDECL TransformImmediateVertices(ImmediateVertex* vertices, std::int32_t count, void* matrix,
                                           std::uint32_t flags) {
  internal::RecordCall("TransformImmediateVertices",
                       {Word(vertices), static_cast<std::uint32_t>(count), Word(matrix), flags});
  if (!answers.transformSucceeds) return nullptr;
  if (recording) {
    Batch batch;
    if (count > 0 && count <= 4096) batch.vertices.assign(vertices, vertices + count);
    batch.matrix = Word(matrix);
    batch.flags = flags;
    batch.renderStates = record.renderStates;
    record.batches.push_back(std::move(batch));
  }
  return vertices;
}

std::int32_t HOST_CDECL RenderImmediateIndexed(std::int32_t primitiveType, std::uint16_t* indices,
                                               std::int32_t count) {
  internal::RecordCall("RenderImmediateIndexed",
                       {static_cast<std::uint32_t>(primitiveType), Word(indices), static_cast<std::uint32_t>(count)});
  if (recording && !record.batches.empty()) {
    Batch& batch = record.batches.back();
    batch.rendered = true;
    batch.primitiveType = primitiveType;
    if (count > 0 && count <= 65536) batch.indices.assign(indices, indices + count);
  }
  return 1;
}

std::int32_t HOST_CDECL EndImmediate() {
  internal::RecordCall("EndImmediate", {});
  if (recording && !record.batches.empty()) record.batches.back().ended = true;
  return 1;
}

std::int32_t HOST_CDECL SetRenderState(std::int32_t state, std::uint32_t value) {
  internal::RecordCall("SetRenderState", {static_cast<std::uint32_t>(state), value});
  if (recording) record.renderStates[state] = value;
  return 1;
}

std::uint8_t HOST_THISCALL IsSphereVisible(const HostCamera* camera, const Vector3* centre, float radius) {
  internal::RecordCall("IsSphereVisible", {Word(camera), Word(centre), Bits(radius), Bits(centre->x),
                                           Bits(centre->y), Bits(centre->z)});
  return !answers.sphereVisible || answers.sphereVisible(*centre, radius) ? 1 : 0;
}

void HOST_THISCALL SetVector(Vector3* vector, float x, float y, float z) {
  Count("SetVector");
  *vector = {x, y, z};
}

float HOST_THISCALL VectorLength(const Vector3* vector) {
  Count("VectorLength");
  return std::sqrt(vector->x * vector->x + vector->y * vector->y + vector->z * vector->z);
}

void HOST_THISCALL CopyVector(Vector3* vector, const Vector3* source) {
  Count("CopyVector");
  *vector = *source;
}

void HOST_CDECL ShowLightSprite(std::uint32_t id, std::int32_t a2, std::int32_t a3, std::int32_t a4, std::int32_t a5,
                                std::int32_t a6, const Vector3* position, float a8, float a9, std::int32_t a10,
                                std::int32_t a11, std::int32_t a12, std::int32_t a13, std::int32_t a14, float a15,
                                std::int32_t a16, float a17, std::int32_t a18, float a19, std::int32_t a20,
                                std::int32_t a21) {
  auto u = [](std::int32_t value) { return static_cast<std::uint32_t>(value); };
  internal::RecordCall("ShowLightSprite",
                       {id, u(a2), u(a3), u(a4), u(a5), u(a6), Word(position), Bits(a8), Bits(a9), u(a10), u(a11),
                        u(a12), u(a13), u(a14), Bits(a15), u(a16), Bits(a17), u(a18), Bits(a19), u(a20), u(a21),
                        Bits(position->x), Bits(position->y), Bits(position->z)});
}

void HOST_CDECL UpdateLightSprite(std::uint32_t id, const Vector3* position, float a3, float a4) {
  internal::RecordCall("UpdateLightSprite", {id, Word(position), Bits(a3), Bits(a4), Bits(position->x),
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

void internal::RecordCall(const char* entry, std::initializer_list<std::uint32_t> args, const char* text) {
  Count(entry);
  if (!recording) return;
  record.calls.push_back({entry, args, text ? text : ""});
}

void internal::ResetEntries() {
  record = {};
  recording = true;
  answers = {};
  entryCalls.clear();
  dictionaries.clear();
  dictionaryStack.clear();
  currentDictionary = 0;
  for (HostTexture* texture : liveTextures) delete texture;
  liveTextures.clear();
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

void SetRecording(bool on) { recording = on; }

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

// The plug-in's platform layer hands its error box here when the process has a simulated host.
extern "C" void simhost_record_error_box(const char* text, const char* caption, std::uint32_t style) {
  simhost::Recorded().errorBoxes.push_back({text ? text : "", caption ? caption : "", style});
}
