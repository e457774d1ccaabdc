#pragma once
// Words in the picture, in stb's small bitmap font (the one Debian's libstb-dev ships): ASCII, drawn as
// rectangles, so any whole-number scale stays crisp.

#include <string_view>

#include "image.h"

namespace preview {

// Font pixels from one line to the next; the letters themselves are about 7 high.
inline constexpr int kTextLineHeight = 12;

// How wide `text` is at `scale` pixels per font pixel.
int TextWidth(std::string_view text, int scale);

// Writes one line of `text` with the top left corner of its line at (left, top), clipped to the picture.
void DrawText(Image& image, int left, int top, std::string_view text, const Colour& colour, int scale);

}  // namespace preview
