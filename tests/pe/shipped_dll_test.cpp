// The DLL a player installs, read from dist/ without running it: the simulated host answers every import, and it
// carries no symbols. Its runtime constructs the host bindings before the plug-in object, which only the symbols
// of the same DLL as linked, before stripping, can show.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "pe_loader.h"
#include "win32.h"

namespace {

using simhost::pe::PeImage;

class ShippedDll : public ::testing::Test {
 protected:
  explicit ShippedDll(const char* path = ZEPHREL_DLL_PATH) : path_(path) {}

  void SetUp() override {
    ASSERT_TRUE(std::filesystem::exists(path_))
        << path_ << " is missing: build it first (cmake --build --preset mingw-i686)";
    image_ = std::make_unique<PeImage>(PeImage::read(path_));
  }

  const PeImage& image() const { return *image_; }

  // The name of the function at rva: its own symbol, else that of the section it alone fills (libstdc++'s
  // initialisers have only those, e.g. ".text.startup._GLOBAL__sub_I_..."); "?" when there is neither.
  std::string function_at(uint32_t rva) const {
    std::string found = "?";
    for (const simhost::pe::Symbol& symbol : image().symbols()) {
      if (symbol.rva != rva) continue;
      if (!symbol.name.starts_with('.')) return symbol.name;
      found = symbol.name;
    }
    return found;
  }

  // What mingw's runtime runs at DLL_PROCESS_ATTACH, in the order it runs them: __CTOR_LIST__ holds -1,
  // the constructors sorted by section name (.ctors, then .ctors.NNNNN with NNNNN = 65535 - priority) and
  // a 0, and the runtime calls them from the last to the first.
  std::vector<std::string> constructors_in_run_order() const {
    uint32_t list = 0;
    for (const simhost::pe::Symbol& symbol : image().symbols())
      if (symbol.name == "__CTOR_LIST__") list = symbol.rva;
    if (list == 0) return {};
    std::vector<std::string> order;
    for (uint32_t at = list + 4; image().word_at(at) != 0; at += 4)
      order.push_back(function_at(image().word_at(at) - image().preferred_base()));
    std::reverse(order.begin(), order.end());
    return order;
  }

  const char* path_;

 private:
  std::unique_ptr<PeImage> image_;
};

class LinkedDll : public ShippedDll {
 protected:
  LinkedDll() : ShippedDll(ZEPHREL_UNSTRIPPED_DLL_PATH) {}
};

TEST_F(ShippedDll, CarriesNoSymbols) { EXPECT_TRUE(image().symbols().empty()) << path_ << " was not stripped"; }

TEST_F(ShippedDll, EveryImportHasAStandInOfTheSimulatedHost) {
  ASSERT_FALSE(image().imports().empty());
  std::vector<std::string> missing;
  for (const simhost::pe::ImportRef& ref : image().imports())
    if (!simhost::pe::find_shim(ref.dll, ref.function)) missing.push_back(ref.display());
  EXPECT_TRUE(missing.empty()) << ZEPHREL_DLL_PATH << " imports what the simulated host does not provide: "
                               << ::testing::PrintToString(missing);
}

// GCC names a translation unit's initialiser of one priority _GLOBAL__sub_I.0NNNN_..., and its initialiser
// without one _GLOBAL__sub_I_... (with one more leading underscore in a PE symbol). The host bindings carry
// priority 1000 and the plug-in object 2000 (frame/init_order.h); an ELF library runs them in that order too,
// and both before its initialisers without a priority. Here those include the statically linked C++ runtime's
// own (streams, locales), which the Linux build has initialised in a library of its own before the plug-in:
// the plug-in object's constructor registers callbacks and patches, and must not read files.
TEST_F(LinkedDll, RunsTheHostBindingsThenThePluginObjectThenEveryOtherInitialiser) {
  ASSERT_FALSE(image().symbols().empty()) << "the symbol table of " << path_ << " was stripped";
  const std::vector<std::string> order = constructors_in_run_order();
  ASSERT_FALSE(order.empty()) << "no __CTOR_LIST__ in " << path_;
  const std::string all = ::testing::PrintToString(order);
  auto position = [&](const char* part) {
    return std::find_if(order.begin(), order.end(),
                        [&](const std::string& f) { return f.find(part) != std::string::npos; }) -
           order.begin();
  };
  const auto size = static_cast<std::ptrdiff_t>(order.size());
  const auto bindings = position("_GLOBAL__sub_I.01000_");
  const auto plugin = position("_GLOBAL__sub_I.02000_plugin.cpp");
  ASSERT_LT(bindings, size) << all;
  ASSERT_LT(plugin, size) << all;
  EXPECT_LT(bindings, plugin) << all;
  for (std::ptrdiff_t k = 0; k < size; ++k) {
    const std::string& f = order[static_cast<size_t>(k)];
    if (f.find("_GLOBAL__sub_I_") != std::string::npos) {
      EXPECT_GT(k, plugin) << f << " runs first: " << all;
    }
  }
}

}  // namespace
