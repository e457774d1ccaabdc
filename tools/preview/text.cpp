#include "text.h"

#include <stb/stb_easy_font.h>

#include <cmath>
#include <string>
#include <vector>

namespace preview {
namespace {

struct FontVertex {
  float x;
  float y;
  float z;
  unsigned char colour[4];
};

}  // namespace

int TextWidth(std::string_view text, int scale) {
  std::string copy(text);  // the font's functions take a writable string
  return stb_easy_font_width(copy.data()) * scale;
}

void DrawText(Image& image, int left, int top, std::string_view text, const Colour& colour, int scale) {
  std::string copy(text);
  // Four vertices per rectangle, and the font's own estimate of some 270 bytes of them per character.
  std::vector<FontVertex> vertices((copy.size() + 1) * 300 / sizeof(FontVertex) + 4);
  const int quads = stb_easy_font_print(0.0f, 0.0f, copy.data(), nullptr, vertices.data(),
                                        static_cast<int>(vertices.size() * sizeof(FontVertex)));
  for (int quad = 0; quad < quads; ++quad) {
    const FontVertex& corner = vertices[static_cast<std::size_t>(quad) * 4];
    const FontVertex& opposite = vertices[static_cast<std::size_t>(quad) * 4 + 2];
    auto at = [&](float font, int origin) { return origin + static_cast<int>(std::lround(font * scale)); };
    const int x0 = at(corner.x, left);
    const int y0 = at(corner.y, top);
    FillRect(image, x0, y0, at(opposite.x, left) - x0, at(opposite.y, top) - y0, colour);
  }
}

}  // namespace preview
