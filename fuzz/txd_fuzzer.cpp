// libFuzzer target of the texture dictionary reader, built natively (x86-64) with AddressSanitizer and
// UndefinedBehaviorSanitizer, which catch any read past the input. Beyond that it checks what must always hold:
// every byte the reading and decoding allocate, counted by AddressSanitizer's allocator, stays within a small multiple
// of the file's size; each problem lies within the file; a texture listed as shown decodes to its size, and one not
// shown does not; every texture's own name is found in the dictionary, and one a character off finds it or another as
// near; and a small texture written into a dictionary of its own reads back pixel for pixel.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include <sanitizer/allocator_interface.h>

#include "txd/texture_dictionary.h"
#include "txd/texture_lookup.h"

namespace {

// What the reader may allocate, in all, for a file: the list of textures and its words, a few times the bytes of
// each texture's header, and each picture at most eight times its pixels' bytes; and some words of problems.
constexpr std::size_t kAllocationPerByte = 16;
constexpr std::size_t kAllocationBeyond = 64 * 1024;

bool counting = false;
std::size_t allocated = 0;

void Require(bool condition) {
  if (!condition) __builtin_trap();
}

bool PowerOfTwo(std::uint32_t side) { return side != 0 && (side & (side - 1)) == 0; }

}  // namespace

// AddressSanitizer's allocator tells of every allocation, operator new's included.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  __sanitizer_install_malloc_and_free_hooks(
      [](const volatile void*, std::size_t size) {
        if (counting) allocated += size;
      },
      [](const volatile void*) {});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> file(data, size);
  allocated = 0;
  counting = true;
  const txd::Dictionary dictionary = txd::ReadDictionary(file);
  std::vector<txd::Picture> pictures(dictionary.textures.size());
  for (std::size_t i = 0; i < pictures.size(); ++i) {
    const txd::Texture& texture = dictionary.textures[i];
    Require(txd::DecodePicture(file, texture, pictures[i]) == texture.notShown.empty());
  }
  counting = false;
  Require(allocated <= kAllocationPerByte * size + kAllocationBeyond);

  Require(dictionary.problems.size() <= 21);
  for (const txd::Problem& problem : dictionary.problems) Require(problem.offset <= size && !problem.message.empty());

  for (const txd::Texture& texture : dictionary.textures) {
    Require(txd::LookUpTexture(dictionary, texture.name).found && !txd::TextureSummary(texture).empty());
    if (texture.name.size() < 6) continue;
    std::string near = texture.name;
    near.back() = near.back() == 'x' ? 'y' : 'x';
    const txd::TextureLookup lookup = txd::LookUpTexture(dictionary, near);
    Require(lookup.found || !lookup.nearest.empty());
  }

  for (std::size_t i = 0; i < pictures.size(); ++i) {
    const txd::Texture& texture = dictionary.textures[i];
    const txd::Picture& picture = pictures[i];
    if (!texture.notShown.empty()) {
      Require(picture.rgba.empty());
      continue;
    }
    Require(picture.width == texture.width && picture.height == texture.height);
    Require(picture.rgba.size() == std::size_t{texture.width} * texture.height * 4);
    Require(texture.pixels + texture.pixelBytes <= size);

    if (texture.name.empty() || texture.name.size() > txd::kLongestName ||
        texture.name.find('\0') != std::string::npos || !PowerOfTwo(texture.width) || !PowerOfTwo(texture.height) ||
        texture.width > 64 || texture.height > 64)
      continue;
    const txd::NamedPicture named[] = {{texture.name, picture}};
    const txd::WrittenDictionary written = txd::WriteDictionary(named);
    Require(written.problem.empty() && written.textures[0].note.empty());
    const txd::Dictionary again = txd::ReadDictionary(written.bytes);
    Require(again.problems.empty() && again.textures.size() == 1 && again.textures[0].name == texture.name);
    txd::Picture back;
    Require(txd::DecodePicture(written.bytes, again.textures[0], back) && back.rgba == picture.rgba);
  }
  return 0;
}
