// The game's facts as the game's documentation gives them, typed here by hand and not taken from src/host, held
// against what the plug-in's headers say (host_facts_plugin.cpp). The simulated host builds its world from the
// plug-in's own headers, so a wrong digit there would otherwise pass every other test.

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>

std::map<std::string, std::uint32_t> PluginHostFacts();

namespace {

const std::map<std::string, std::uint32_t> kGameFacts = {
    // Every host address is one of the executable built for this base.
    {"image base", 0x400000},

    // Probe words, read in this order; the first that matches names the build.
    {"probe 0 build", 1001},
    {"probe 0 address", 0x401000},
    {"probe 0 word", 0x53EC8B55},
    {"probe 1 build", 1002},
    {"probe 1 address", 0x401000},
    {"probe 1 word", 0x16197BE9},
    {"probe 2 build", 1011},
    {"probe 2 address", 0x8245BC},
    {"probe 2 word", 0x94BF},
    {"probe 3 build", 1101},
    {"probe 3 address", 0x8252FC},
    {"probe 3 word", 0x94BF},
    {"probe 4 build", 1111},
    {"probe 4 address", 0x82533C},
    {"probe 4 word", 0x94BF},
    {"probe 5 build", 3200},
    {"probe 5 address", 0x858D51},
    {"probe 5 word", 0x3539F633},
    {"probe 6 build", 3210},
    {"probe 6 address", 0x858C61},
    {"probe 6 word", 0x3539F633},

    // Only these two builds have the addresses below.
    {"build 1001 served", 1},
    {"build 1002 served", 1},
    {"build 1011 served", 0},
    {"build 1101 served", 0},
    {"build 1111 served", 0},
    {"build 3200 served", 0},
    {"build 3210 served", 0},
    {"build 0 served", 0},

    // Entries.
    {"ReadTexture", 0x7F3AC0},
    {"DestroyTexture", 0x7F3820},
    {"TransformImmediateVertices", 0x7EF450},
    {"EndImmediate", 0x7EF520},
    {"RenderImmediateIndexed", 0x7EF550},
    {"SetVector", 0x420B10},
    {"VectorLength", 0x4082C0},
    {"CopyVector", 0x411B50},
    {"ShowLightSprite", 0x6FC580},
    {"UpdateLightSprite", 0x6FC4D0},
    {"PushCurrentTextureDictionary", 0x7316A0},
    {"PopCurrentTextureDictionary", 0x7316B0},
    {"FindTextureDictionarySlot", 0x731850},
    {"SetCurrentTextureDictionary", 0x7319C0},
    {"AddTextureDictionarySlot", 0x731C80},
    {"LoadTextureDictionary", 0x7320B0},

    // Data, and the three bound per build.
    {"HostTimeMs", 0xB7CB84},
    {"HostTimeStep", 0xB7CB5C},
    {"HostVehiclePool pointer", 0xB74494},
    {"HostEngine pointer", 0xC97B24},
    {"HostDimFactorA", 0xC81300},
    {"HostDimFactorB", 0xC81304},
    {"HostDimFactorC", 0xC81324},
    {"HostLightColour", 0xB7C4A0},
    {"HostCamera", 0xB6F028},
    {"IsSphereVisible", 0x420D40},
    {"HostClockHour", 0xB70153},

    // Code the plug-in rewrites.
    {"start-up call site", 0x5BF3A1},
    {"re-initialisation call site A", 0x748E09},
    {"re-initialisation call site B", 0x748E48},
    {"per-frame call site", 0x53E981},
    {"shutdown call site", 0x53D910},
    {"drawing call site", 0x726AD0},
    {"HostSkyTrailRoutine", 0x7174F0},

    // Layouts: byte offsets, and the widths the plug-in relies on.
    {"HostVehiclePool.entries", 0},
    {"HostVehiclePool.flags", 4},
    {"HostVehiclePool.count", 8},
    {"HostVehicle size", 2584},
    {"HostVehicle.position", 4},
    {"HostVehicle.matrix", 20},
    {"matrix.position", 48},
    {"HostVehicle.model", 34},
    {"HostVehicle.model width", 2},
    {"HostVehicle.status", 54},
    {"status mask", 0xF8},
    {"status excluded", 0x28},  // status 5 in bits 3 to 7
    {"HostVehicle.driver", 1120},
    {"HostVehicle.timeField", 2496},
    {"HostVehicle.timeField width", 4},
    {"HostCamera.position", 4},
    {"HostCamera.matrix", 20},
    {"HostEngine.SetRenderState", 32},
    {"HostLightColour.red", 36},
    {"HostLightColour.green", 38},
    {"HostLightColour.blue", 40},
    {"HostLightColour.red width", 2},
    {"texture.raster", 0},
    {"ImmediateVertex size", 36},
    {"ImmediateVertex.position", 0},
    {"ImmediateVertex.normal", 12},
    {"ImmediateVertex.colour", 24},
    {"ImmediateVertex.u", 28},
    {"ImmediateVertex.v", 32},

    // The renderer's numbers, passed through unchanged.
    {"render state: texture raster", 1},
    {"render state: depth test", 6},
    {"render state: depth write", 8},
    {"render state: source blend", 10},
    {"render state: destination blend", 11},
    {"render state: vertex alpha", 12},
    {"render state: fog", 14},
    {"blend: source alpha", 5},
    {"blend: inverse source alpha", 6},
    {"primitive: line list", 1},
    {"primitive: triangle list", 3},
    {"trail batch flags", 24},
    {"banner batch flags", 25},
};

TEST(HostFacts, ThePlugInStatesEveryFactOfTheGameAsTheGameHasIt) {
  const std::map<std::string, std::uint32_t> plugin = PluginHostFacts();
  for (const auto& [name, value] : kGameFacts) {
    const auto found = plugin.find(name);
    if (found == plugin.end()) {
      ADD_FAILURE() << name << ": the plug-in does not state it";
    } else {
      EXPECT_EQ(found->second, value) << name << std::hex << ": the plug-in has 0x" << found->second << ", the game 0x"
                                      << value;
    }
  }
  // A fact the plug-in adds must be typed here too, from the game's documentation.
  for (const auto& [name, value] : plugin) {
    EXPECT_TRUE(kGameFacts.contains(name)) << name << " = 0x" << std::hex << value << " is checked against nothing";
  }
}

}  // namespace
