#pragma once
// The game's texture dictionaries (MODELS\BANNER.TXD) outside the game: read from a file's bytes, each texture's
// largest level decoded to RGBA, and pictures written into a dictionary the PC game reads. Plain C++ over a byte
// buffer, no file system, so that the checker and the browser page share it. The plug-in itself never uses it: it
// has the game load its dictionary.
//
// Reading never trusts a number of the file: every size is checked against what is left of its parent and of the
// file before anything is read or allocated, so that a damaged, cut-short or foreign file gives problems to show,
// never a read past its end or an allocation larger than a small multiple of its size.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace txd {

// How a texture's pixels are stored. The first eleven are those it can decode; kPalette4's layout is not known well
// enough to show, and kOther is anything else a file may hold.
enum class PixelFormat {
  kDxt1,
  kDxt3,
  kDxt5,
  k8888,
  k888,
  k565,
  k1555,
  k4444,
  k555,
  kGrey8,
  kPalette8,
  kPalette4,
  kOther
};

// Something wrong with a file, found at one of its bytes.
struct Problem {
  std::size_t offset = 0;
  std::string message;  // players' words, without the offset
};

// "byte 40: " and the message, as the checker and the page show it.
std::string Describe(const Problem& problem);

struct Texture {
  std::string name;            // as the file holds it (the game's ANSI code page), up to its first NUL byte
  std::size_t offset = 0;      // where its section begins
  std::uint32_t platform = 0;  // 8 or 9, the PC's two layouts
  std::uint32_t width = 0, height = 0;
  std::uint32_t mipLevels = 0;  // as many as the file stores
  bool hasAlpha = false;        // what the texture's header says
  PixelFormat format = PixelFormat::kOther;
  std::string formatName;  // "DXT1", "8888", "8-bit palette" ...; for kOther what the header holds
  std::string notShown;    // why its picture cannot be shown, in players' words; empty when it can
  // Where its largest level's pixels and its palette lie in the file, once checked: what DecodePicture reads.
  std::size_t pixels = 0, pixelBytes = 0, palette = 0;
};

struct Dictionary {
  std::uint32_t deviceId = 0;
  std::vector<Texture> textures;  // in the file's order, every one read before reading stopped
  std::vector<Problem> problems;  // in the file's order; none for a file the game reads as it was meant
  bool stopped = false;           // reading stopped at the last problem: what follows it is not listed
};

Dictionary ReadDictionary(std::span<const std::uint8_t> file);

struct Picture {
  std::uint32_t width = 0, height = 0;
  std::vector<std::uint8_t> rgba;  // R, G, B, A a pixel, row by row from the top
};

// The texture's largest level, from the bytes it was read from. False, with the picture left empty, when the texture
// cannot be shown (its notShown says why) or the bytes are not those it was read from. The picture never takes
// more than eight times the bytes of the pixels it comes from.
bool DecodePicture(std::span<const std::uint8_t> file, const Texture& texture, Picture& picture);

// The longest texture name the game keeps whole: its 32 bytes end with a NUL.
inline constexpr std::size_t kLongestName = 31;
// The largest side of a written texture.
inline constexpr std::uint32_t kLargestSide = 2048;

struct NamedPicture {
  std::string name;
  Picture picture;
};

struct WrittenTexture {
  std::string name;
  std::uint32_t pictureWidth = 0, pictureHeight = 0;  // as given
  std::uint32_t width = 0, height = 0;                // in the dictionary
  bool hasAlpha = false;                              // some pixel is not opaque
  std::string note;  // players' words when the picture was resized (its original size and aspect); else empty
};

struct WrittenDictionary {
  std::vector<std::uint8_t> bytes;  // the whole file; empty when nothing could be written
  std::vector<WrittenTexture> textures;
  std::string problem;  // players' words for why nothing could be written; empty when it was
};

// A dictionary as the PC game writes its own: each picture one uncompressed 32-bit texture of one level, under its
// name (1 to kLongestName bytes, no two the same). A picture whose sides are not powers of two up to kLargestSide is
// resized first (FittingSide, Resize).
WrittenDictionary WriteDictionary(std::span<const NamedPicture> pictures);

// The side a picture's side becomes in a written dictionary: the nearest power of two, the larger one when it lies
// half way or more towards it (300 becomes 256, 400 and 384 become 512), and at most kLargestSide.
std::uint32_t FittingSide(std::uint32_t side);

// The picture at another size, each side on its own: shrunk by averaging the pixels each new one covers (a box
// filter), grown by blending the two nearest (linear). Colours are weighted by their alpha, so that see-through
// pixels do not darken the edges of the opaque ones; in integers, so that every build gives the same bytes.
Picture Resize(const Picture& picture, std::uint32_t width, std::uint32_t height);

}  // namespace txd
