// The preview's painter on hand-made records: lines and triangles land where the camera projects them, with
// their alpha, the stand-in texture and near-plane clipping; markers, lights, the caption, the PNG file and the
// animated GIF.

#include "render.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "config/ini_file.h"
#include "gif.h"
#include "picture.h"
#include "support/own_folder.h"
#include "text.h"

#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

namespace {

using preview::AircraftKind;
using preview::Camera;
using preview::Colour;
using preview::Image;
using preview::Vector3;

constexpr std::uint32_t kRaster = 0x7A000000;

// Level with the scene, looking north from 100 units south; the ground lies well below the picture's middle.
Camera LevelCamera() {
  Camera camera;
  camera.position = {0.0f, -100.0f, 50.0f};
  camera.lookAt = {0.0f, 0.0f, 50.0f};
  camera.verticalFovDegrees = 60.0f;
  camera.width = 160;
  camera.height = 120;
  return camera;
}

host::ImmediateVertex Vertex(const Vector3& position, std::uint32_t alpha, float u = 0.0f, float v = 0.0f) {
  host::ImmediateVertex vertex{};
  vertex.position = position;
  vertex.colour = (alpha << 24) | 0xFFFFFFu;
  vertex.u = u;
  vertex.v = v;
  return vertex;
}

simhost::Batch Lines(std::vector<host::ImmediateVertex> vertices) {
  simhost::Batch batch;
  batch.vertices = std::move(vertices);
  for (std::uint16_t k = 0; k + 1u < batch.vertices.size(); ++k) {
    batch.indices.insert(batch.indices.end(), {k, static_cast<std::uint16_t>(k + 1)});
  }
  batch.rendered = true;
  batch.primitiveType = host::kPrimitiveLineList;
  batch.renderStates = {{12, 1}, {10, 5}, {11, 6}, {1, 0}};
  return batch;
}

// A banner-like strip: six pairs of upper and lower vertices across x, two triangles per quad.
simhost::Batch Strip(float y, float top, float bottom, std::uint32_t alpha, std::uint32_t raster) {
  simhost::Batch batch;
  for (int k = 0; k < 6; ++k) {
    const float x = -40.0f + 16.0f * static_cast<float>(k);
    const float u = 0.2f * static_cast<float>(k);
    batch.vertices.push_back(Vertex({x, y, top}, alpha, u, 0.0f));
    batch.vertices.push_back(Vertex({x, y, bottom}, alpha, u, 1.0f));
  }
  for (std::uint16_t k = 0; k < 5; ++k) {
    const std::uint16_t a = 2 * k;
    batch.indices.insert(batch.indices.end(), {a, std::uint16_t(a + 1), std::uint16_t(a + 3), a, std::uint16_t(a + 3),
                                               std::uint16_t(a + 2)});
  }
  batch.rendered = true;
  batch.primitiveType = host::kPrimitiveTriangleList;
  batch.renderStates = {{12, 1}, {10, 5}, {11, 6}, {1, raster}};
  return batch;
}

Image Paint(const Camera& camera, std::vector<simhost::Batch> batches, std::vector<preview::Aircraft> aircraft = {},
            std::vector<preview::Light> lights = {}, bool night = false) {
  return preview::Render(camera, {batches, aircraft, lights, night});
}

bool Same(const Colour& a, const Colour& b, float tolerance = 1e-4f) {
  return std::fabs(a.r - b.r) <= tolerance && std::fabs(a.g - b.g) <= tolerance && std::fabs(a.b - b.b) <= tolerance;
}

int DifferingPixels(const Image& a, const Image& b) {
  int differing = 0;
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width(); ++x) differing += Same(a.at(x, y), b.at(x, y)) ? 0 : 1;
  }
  return differing;
}

int Pixel(float coordinate) { return static_cast<int>(std::floor(coordinate)); }

TEST(PreviewRender, ALineAppearsWhereTheProjectionSays) {
  const Camera camera = LevelCamera();
  const Image background = Paint(camera, {});
  const Vector3 a{-30.0f, 0.0f, 60.0f};
  const Vector3 b{30.0f, 0.0f, 40.0f};
  const Image picture = Paint(camera, {Lines({Vertex(a, 255), Vertex(b, 255)})});

  for (const float t : {0.1f, 0.5f, 0.9f}) {
    const Vector3 on = preview::Add(a, preview::Scale(preview::Subtract(b, a), t));
    const auto point = preview::Project(camera, on);
    ASSERT_TRUE(point.has_value());
    const Colour& drawn = picture.at(Pixel(point->x), Pixel(point->y));
    EXPECT_GT(drawn.r + drawn.g + drawn.b, 2.5f) << "white at t=" << t;
    // Ten pixels above the line: untouched.
    EXPECT_TRUE(
        Same(picture.at(Pixel(point->x), Pixel(point->y) - 10), background.at(Pixel(point->x), Pixel(point->y) - 10)));
  }
  // Only pixels near the line changed.
  EXPECT_LT(DifferingPixels(picture, background), 4 * 160);
}

TEST(PreviewRender, VertexAlphaBlendsTheLineOverTheBackground) {
  const Camera camera = LevelCamera();
  const Image background = Paint(camera, {});
  const Vector3 a{-30.0f, 0.0f, 50.0f};
  const Vector3 b{30.0f, 0.0f, 50.0f};
  EXPECT_EQ(DifferingPixels(Paint(camera, {Lines({Vertex(a, 0), Vertex(b, 0)})}), background), 0);

  // Alpha falls from 255 at a to 0 at b: bright near a, the background's own near b.
  const Image fading = Paint(camera, {Lines({Vertex(a, 255), Vertex(b, 0)})});
  const int row = Pixel(preview::Project(camera, a)->y);
  const int nearA = Pixel(preview::Project(camera, {-25.0f, 0.0f, 50.0f})->x);
  const int middle = Pixel(preview::Project(camera, {0.0f, 0.0f, 50.0f})->x);
  const int nearB = Pixel(preview::Project(camera, {29.0f, 0.0f, 50.0f})->x);
  auto whiteness = [&](int x) { return fading.at(x, row).r - background.at(x, row).r; };
  EXPECT_GT(whiteness(nearA), whiteness(middle));
  EXPECT_GT(whiteness(middle), whiteness(nearB));
  EXPECT_GT(whiteness(middle), 0.0f);
  EXPECT_NEAR(whiteness(nearB), 0.0f, 0.05f);
}

TEST(PreviewRender, ALineRunningBehindTheCameraIsCutAtTheNearPlane) {
  // From a point ahead and below the eye to one behind the camera: the visible part runs from the point ahead
  // down and out of the bottom of the picture. Projecting the point behind without cutting would put it above
  // the middle and draw a line through the upper half.
  Camera camera = LevelCamera();
  camera.position = {0.0f, 0.0f, 50.0f};
  camera.lookAt = {0.0f, 100.0f, 50.0f};
  const Vector3 ahead{0.0f, 50.0f, 40.0f};
  const Vector3 behind{0.0f, -50.0f, 40.0f};
  const Image background = Paint(camera, {});
  const Image picture = Paint(camera, {Lines({Vertex(ahead, 255), Vertex(behind, 255)})});
  const auto start = preview::Project(camera, ahead);
  ASSERT_TRUE(start.has_value());
  const int column = Pixel(start->x);
  for (int y = 0; y < Pixel(start->y) - 2; ++y) {
    ASSERT_TRUE(Same(picture.at(column, y), background.at(column, y))) << "row " << y;
  }
  for (int y = Pixel(start->y) + 1; y < camera.height; ++y) {
    ASSERT_FALSE(Same(picture.at(column, y), background.at(column, y))) << "row " << y;
  }
}

TEST(PreviewRender, ATriangleReachingBehindTheCameraIsCutAtTheNearPlane) {
  Camera camera = LevelCamera();
  camera.position = {0.0f, 0.0f, 50.0f};
  camera.lookAt = {0.0f, 100.0f, 50.0f};
  simhost::Batch triangle = Strip(0.0f, 0.0f, 0.0f, 255, 0);
  triangle.vertices = {Vertex({-10.0f, 50.0f, 40.0f}, 255), Vertex({10.0f, 50.0f, 40.0f}, 255),
                       Vertex({0.0f, -50.0f, 40.0f}, 255)};
  triangle.indices = {0, 1, 2};
  const Image background = Paint(camera, {});
  const Image picture = Paint(camera, {triangle});
  const int middle = camera.width / 2;
  for (int y = 0; y < camera.height / 2; ++y) {
    ASSERT_TRUE(Same(picture.at(middle, y), background.at(middle, y))) << "row " << y;
  }
  EXPECT_TRUE(Same(picture.at(middle, camera.height - 1), {1.0f, 1.0f, 1.0f})) << "reaches the bottom edge";
}

TEST(PreviewRender, ATexturedStripShowsTheStripesOfItsClothAcrossU) {
  const Camera camera = LevelCamera();
  struct Case {
    const char* what;
    std::uint32_t raster;
    float u;
    Colour expected;
  };
  const Case cases[] = {
      {"first stripe", kRaster, 0.05f, preview::StandInTexel(0.05f, 0.5f)},
      {"second stripe", kRaster, 0.15f, preview::StandInTexel(0.15f, 0.5f)},
      {"last stripe", kRaster, 0.95f, preview::StandInTexel(0.95f, 0.5f)},
      {"the next cloth read: its own colour", kRaster + 1, 0.05f, preview::StandInTexel(0.05f, 0.5f, 1)},
      {"and white between", kRaster + 1, 0.15f, preview::StandInTexel(0.15f, 0.5f)},
      {"no raster: plain white", 0, 0.05f, {1.0f, 1.0f, 1.0f}},
      {"no raster, anywhere", 0, 0.15f, {1.0f, 1.0f, 1.0f}},
  };
  EXPECT_FALSE(Same(preview::StandInTexel(0.05f, 0.5f), preview::StandInTexel(0.15f, 0.5f)));
  EXPECT_FALSE(Same(preview::StandInTexel(0.05f, 0.5f), preview::StandInTexel(0.05f, 0.5f, 1)));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Image picture = Paint(camera, {Strip(0.0f, 55.0f, 45.0f, 255, c.raster)});
    // u runs from 0 at x = -40 to 1 at x = 40, v from 0 at the top to 1 at the bottom.
    const auto point = preview::Project(camera, {-40.0f + 80.0f * c.u, 0.0f, 50.0f});
    ASSERT_TRUE(point.has_value());
    EXPECT_TRUE(Same(picture.at(Pixel(point->x), Pixel(point->y)), c.expected, 1e-3f));
  }
  // Along v: the band at the upper edge differs from the stripes in the middle.
  const Image picture = Paint(camera, {Strip(0.0f, 55.0f, 45.0f, 255, kRaster)});
  const auto upper = preview::Project(camera, {-36.0f, 0.0f, 54.6f});
  EXPECT_TRUE(Same(picture.at(Pixel(upper->x), Pixel(upper->y)), preview::StandInTexel(0.05f, 0.05f), 1e-3f));
}

TEST(PreviewRender, ATranslucentQuadHasNoSeamAlongItsDiagonal) {
  // One world unit per pixel at the quad's depth and corners on whole pixels: the diagonal shared by the quad's
  // two triangles runs exactly through pixel centres, which must be blended once, not twice or not at all.
  Camera camera = LevelCamera();
  camera.position = {0.0f, -60.0f, 50.0f};
  camera.verticalFovDegrees = 90.0f;  // 60 pixels per unit of x/depth
  simhost::Batch quad = Strip(0.0f, 0.0f, 0.0f, 128, 0);
  quad.vertices = {Vertex({-10.0f, 0.0f, 60.0f}, 128), Vertex({-10.0f, 0.0f, 50.0f}, 128),
                   Vertex({0.0f, 0.0f, 60.0f}, 128), Vertex({0.0f, 0.0f, 50.0f}, 128)};
  quad.indices = {0, 1, 3, 0, 3, 2};
  const Image background = Paint(camera, {});
  const Image picture = Paint(camera, {quad});
  ASSERT_EQ(preview::Project(camera, {-10.0f, 0.0f, 60.0f})->x, 70.0f);
  ASSERT_EQ(preview::Project(camera, {-10.0f, 0.0f, 60.0f})->y, 50.0f);
  for (int y = 50; y < 60; ++y) {
    for (int x = 70; x < 80; ++x) {
      const Colour expected = preview::Mix(background.at(x, y), {1.0f, 1.0f, 1.0f}, 128.0f / 255.0f);
      ASSERT_TRUE(Same(picture.at(x, y), expected, 1e-3f)) << x << "," << y;
    }
  }
  EXPECT_TRUE(Same(picture.at(69, 55), background.at(69, 55)));
  EXPECT_TRUE(Same(picture.at(80, 55), background.at(80, 55)));
}

TEST(PreviewRender, BatchesTheHostWouldNotDrawLeaveTheBackground) {
  const Camera camera = LevelCamera();
  const Image background = Paint(camera, {});
  const Vector3 a{-30.0f, 0.0f, 50.0f};
  const Vector3 b{30.0f, 0.0f, 50.0f};
  simhost::Batch notRendered = Lines({Vertex(a, 255), Vertex(b, 255)});
  notRendered.rendered = false;
  simhost::Batch badIndex = Lines({Vertex(a, 255), Vertex(b, 255)});
  badIndex.indices = {0, 2};
  simhost::Batch otherType = Lines({Vertex(a, 255), Vertex(b, 255)});
  otherType.primitiveType = 6;
  simhost::Batch notFinite = Lines({Vertex(a, 255), Vertex({std::nanf(""), 0.0f, 50.0f}, 255)});
  simhost::Batch underground = Lines({Vertex({-30.0f, 0.0f, -5.0f}, 255), Vertex({30.0f, 0.0f, -5.0f}, 255)});
  simhost::Batch oddIndexCount = Strip(0.0f, 55.0f, 45.0f, 255, 0);
  oddIndexCount.indices.resize(2);
  const std::pair<const char*, simhost::Batch> cases[] = {
      {"not rendered", notRendered}, {"index past the vertices", badIndex}, {"unknown primitive type", otherType},
      {"NaN position", notFinite},   {"under the ground", underground},     {"too few indices", oddIndexCount},
  };
  for (const auto& [what, batch] : cases) {
    SCOPED_TRACE(what);
    EXPECT_EQ(DifferingPixels(Paint(camera, {batch}), background), 0);
  }
}

TEST(PreviewRender, AircraftAreMarkedOnePerKind) {
  const Camera camera = LevelCamera();
  const Vector3 trail{-20.0f, 0.0f, 50.0f};
  const Vector3 banner{20.0f, 0.0f, 50.0f};
  const Vector3 plain{0.0f, 0.0f, 50.0f};
  const Image picture = Paint(camera, {},
                              {{trail, AircraftKind::Trail},
                               {banner, AircraftKind::Banner},
                               {plain, AircraftKind::Plain},
                               {{0.0f, -200.0f, 50.0f}, AircraftKind::Trail}});
  const auto t = preview::Project(camera, trail);
  const auto b = preview::Project(camera, banner);
  const auto p = preview::Project(camera, plain);
  const Colour& trailMark = picture.at(Pixel(t->x), Pixel(t->y));
  const Colour& bannerMark = picture.at(Pixel(b->x), Pixel(b->y));
  const Colour& plainRing = picture.at(Pixel(p->x) + 4, Pixel(p->y));
  EXPECT_FALSE(Same(trailMark, bannerMark, 0.1f));
  EXPECT_FALSE(Same(plainRing, trailMark, 0.1f));
  EXPECT_FALSE(Same(plainRing, bannerMark, 0.1f));
  EXPECT_FALSE(Same(trailMark, Paint(camera, {}).at(Pixel(t->x), Pixel(t->y)), 0.1f));
}

TEST(PreviewRender, ShownLightSpritesBecomeGlowingDots) {
  simhost::Record record;
  auto sprite = [](const char* entry, std::uint32_t red, float x, std::uint32_t id = 101) {
    std::vector<std::uint32_t> args(21, 0);
    args[0] = id;
    args[2] = red;
    args[5] = 255;
    args[7] = simhost::Bits(5.0f);
    args.insert(args.end(), {simhost::Bits(x), simhost::Bits(0.0f), simhost::Bits(50.0f)});
    return simhost::Call{entry, args, ""};
  };
  // The plug-in may show a sprite twice in a frame: one light, where it was shown last.
  record.calls = {sprite("ShowLightSprite", 255, 50.0f), sprite("UpdateLightSprite", 255, 10.0f),
                  sprite("ShowLightSprite", 0, 10.0f, 102), sprite("ShowLightSprite", 255, -10.0f)};
  const std::vector<preview::Light> lights = preview::ShownLights(record);
  ASSERT_EQ(lights.size(), 2u);
  EXPECT_EQ(lights[0].position.x, -10.0f);
  EXPECT_EQ(lights[0].size, 5.0f);
  EXPECT_TRUE(Same(lights[0].colour, {1.0f, 0.0f, 0.0f}));
  EXPECT_TRUE(Same(lights[1].colour, {1.0f, 1.0f, 1.0f})) << "no colour given: white";

  const Camera camera = LevelCamera();
  const Image dark = Paint(camera, {}, {}, {}, true);
  const Image lit = Paint(camera, {}, {}, lights, true);
  const auto centre = preview::Project(camera, lights[0].position);
  const int x = Pixel(centre->x);
  const int y = Pixel(centre->y);
  EXPECT_GT(lit.at(x, y).r, 0.9f);
  EXPECT_GT(lit.at(x + 3, y).r, dark.at(x + 3, y).r + 0.2f) << "glows around its centre";
  EXPECT_TRUE(Same(lit.at(x, 0), dark.at(x, 0))) << "but not across the picture";
}

TEST(PreviewRender, APaintedBackdropGivesTheSamePictureAsPaintingAnew) {
  // The ground's depth comes with it: the line below the ground stays hidden.
  const Camera camera = LevelCamera();
  const preview::Backdrop backdrop = preview::PaintBackdrop(camera, true);
  const std::vector<simhost::Batch> batches = {
      Lines({Vertex({-30.0f, 0.0f, 60.0f}, 255), Vertex({30.0f, 0.0f, 40.0f}, 255)}),
      Lines({Vertex({-30.0f, 0.0f, -5.0f}, 255), Vertex({30.0f, 0.0f, -5.0f}, 255)})};
  const Image reused = preview::Render(camera, {batches, {}, {}, true}, &backdrop);
  EXPECT_EQ(DifferingPixels(reused, Paint(camera, batches, {}, {}, true)), 0);
  EXPECT_GT(DifferingPixels(reused, backdrop.image), 0);
}

TEST(PreviewRender, NightAndDayHaveTheirOwnSky) {
  const Camera camera = LevelCamera();
  const Colour day = Paint(camera, {}).at(80, 10);
  const Colour night = Paint(camera, {}, {}, {}, true).at(80, 10);
  EXPECT_GT(day.b, 0.5f);
  EXPECT_LT(night.r + night.g + night.b, day.r + day.g + day.b);
  // The ground below the horizon differs from the sky above it.
  EXPECT_FALSE(Same(Paint(camera, {}).at(80, 110), day, 0.05f));
}

TEST(PreviewRender, WritesAPngOfThePicture) {
  Image image(3, 2);
  image.at(0, 0) = {1.0f, 0.0f, 0.0f};
  image.at(2, 1) = {0.0f, 0.5f, 2.0f};  // out of range: clamped
  const testing_support::OwnFolder folder;
  const std::string path = folder.File("preview.png");
  ASSERT_TRUE(preview::WritePng(image, path));
  int width = 0, height = 0, channels = 0;
  unsigned char* pixels = stbi_load(path.c_str(), &width, &height, &channels, 3);
  ASSERT_NE(pixels, nullptr);
  EXPECT_EQ(width, 3);
  EXPECT_EQ(height, 2);
  EXPECT_EQ(pixels[0], 255);
  EXPECT_EQ(pixels[1], 0);
  EXPECT_EQ(pixels[(1 * 3 + 2) * 3 + 1], 128);
  EXPECT_EQ(pixels[(1 * 3 + 2) * 3 + 2], 255);
  stbi_image_free(pixels);
  EXPECT_FALSE(preview::WritePng(image, "/nonexistent-directory/preview.png"));
}

TEST(PreviewRender, AnAnimationReadsBackFrameByFrameAsWritten) {
  // A colourful first frame, the same again, then a change in one box: the reader, laying each frame over the
  // ones before, gets every frame's own colours, and the unchanged frame costs a single pixel.
  Image first(40, 30);
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 40; ++x) first.at(x, y) = {x / 39.0f, y / 29.0f, (x + y) % 7 / 6.0f};
  }
  Image third = first;
  for (int y = 5; y < 10; ++y) {
    for (int x = 10; x < 20; ++x) third.at(x, y) = {1.0f, 1.0f, 1.0f};
  }
  const std::vector<Image> frames = {first, first, third};
  const testing_support::OwnFolder folder;
  const std::string path = folder.File("preview.gif");
  preview::GifWriter writer;
  ASSERT_TRUE(writer.Open(path, 40, 30, 10)) << writer.error();
  for (const Image& frame : frames) ASSERT_TRUE(writer.Add(frame));
  EXPECT_FALSE(writer.Add(Image(41, 30))) << "a frame of another size";
  ASSERT_TRUE(writer.Close()) << writer.error();
  EXPECT_EQ(writer.frames(), 3);

  int code = 0;
  GifFileType* gif = DGifOpenFileName(path.c_str(), &code);
  ASSERT_NE(gif, nullptr);
  ASSERT_EQ(DGifSlurp(gif), GIF_OK);
  EXPECT_EQ(gif->SWidth, 40);
  EXPECT_EQ(gif->SHeight, 30);
  ASSERT_EQ(gif->ImageCount, 3);
  const GifImageDesc& unchanged = gif->SavedImages[1].ImageDesc;
  EXPECT_EQ(unchanged.Width * unchanged.Height, 1);
  const GifImageDesc& box = gif->SavedImages[2].ImageDesc;
  EXPECT_EQ(std::vector<int>({box.Left, box.Top, box.Width, box.Height}), std::vector<int>({10, 5, 10, 5}));
  std::vector<int> shown(40 * 30, -1);
  for (int k = 0; k < 3; ++k) {
    SCOPED_TRACE(k);
    GraphicsControlBlock control{};
    ASSERT_EQ(DGifSavedExtensionToGCB(gif, k, &control), GIF_OK);
    EXPECT_EQ(control.DelayTime, 10);
    EXPECT_EQ(control.DisposalMode, DISPOSE_DO_NOT);
    const SavedImage& image = gif->SavedImages[k];
    for (int y = 0; y < image.ImageDesc.Height; ++y) {
      for (int x = 0; x < image.ImageDesc.Width; ++x) {
        const int index = image.RasterBits[y * image.ImageDesc.Width + x];
        if (index != control.TransparentColor) shown[(image.ImageDesc.Top + y) * 40 + image.ImageDesc.Left + x] = index;
      }
    }
    for (int y = 0; y < 30; ++y) {
      for (int x = 0; x < 40; ++x) {
        const Colour& c = frames[k].at(x, y);
        const int expected =
            preview::PaletteIndex(preview::Channel8(c.r), preview::Channel8(c.g), preview::Channel8(c.b), x, y);
        ASSERT_EQ(shown[y * 40 + x], expected) << x << "," << y;
      }
    }
  }
  // Black and white come through dithering as themselves.
  const GifColorType& black = gif->SColorMap->Colors[preview::PaletteIndex(0, 0, 0, 3, 1)];
  const GifColorType& white = gif->SColorMap->Colors[preview::PaletteIndex(255, 255, 255, 2, 2)];
  EXPECT_EQ(black.Red + black.Green + black.Blue, 0);
  EXPECT_EQ(white.Red + white.Green + white.Blue, 3 * 255);
  DGifCloseFile(gif, &code);
  EXPECT_FALSE(writer.Open("/nonexistent-directory/preview.gif", 40, 30, 10));
  EXPECT_NE(writer.error(), "");
}

TEST(PreviewRender, WordsStayInTheirBoxAtAnyScale) {
  for (const int scale : {1, 2}) {
    SCOPED_TRACE(scale);
    Image image(300, 60);
    preview::DrawText(image, 10, 5, "Hour 2 (night)", {1.0f, 1.0f, 1.0f}, scale);
    const int width = preview::TextWidth("Hour 2 (night)", scale);
    EXPECT_EQ(width, scale * preview::TextWidth("Hour 2 (night)", 1));
    int lit = 0;
    for (int y = 0; y < 60; ++y) {
      for (int x = 0; x < 300; ++x) {
        if (image.at(x, y).r == 0.0f) continue;
        ++lit;
        EXPECT_TRUE(x >= 10 && x < 10 + width && y >= 5 && y < 5 + preview::kTextLineHeight * scale) << x << "," << y;
      }
    }
    EXPECT_GT(lit, 40 * scale * scale);
  }
}

TEST(PreviewRender, TheCaptionTellsTheMarksTheHourAndTheSettingsNotAtTheirDefaults) {
  // EnableBanner=1 is its default; one model for both kinds makes every aircraft a trail aircraft.
  const preview::ScenarioSettings settings =
      preview::ScenarioSettingsFrom("[MAIN]\nModelIDForTrail=593\nHeight=250\nEnableBanner=1\nReplaceTrailsInTheSky=1");
  EXPECT_EQ(preview::ChangedSettings(),
            std::vector<std::string>({"ReplaceTrailsInTheSky=true", "Height=250", "ModelIDForTrail=593"}));
  const preview::Caption caption = preview::MakeCaption({"Zephrel.dll", "my.ini", 40.0f, 2, true, settings});
  std::string words;
  std::vector<preview::LegendMark> marks;
  for (const preview::CaptionItem& item : caption.items) {
    words += item.text + "|";
    if (item.mark != preview::LegendMark::None) marks.push_back(item.mark);
  }
  for (const char* expected : {"Zephrel.dll, 40 s of flight at hour 2 (night", "|trail aircraft (model 593)|",
                               "|my.ini, not at their defaults:|ReplaceTrailsInTheSky=true|Height=250|"}) {
    EXPECT_NE(words.find(expected), std::string::npos) << expected << " in " << words;
  }
  EXPECT_EQ(marks, std::vector<preview::LegendMark>({preview::LegendMark::TrailAircraft, preview::LegendMark::Trail,
                                                     preview::LegendMark::SkyLight}));

  // Words where there is room for them, none on a thumbnail; the views side by side above them.
  const preview::Layout wide = preview::MakeLayout(1280, 720, caption);
  EXPECT_EQ(wide.scale, 2);
  EXPECT_GT(wide.viewHeight, 720 * 2 / 3);
  EXPECT_LT(wide.viewHeight, 720);
  EXPECT_EQ(preview::MakeLayout(64, 48, caption).scale, 0);
  EXPECT_EQ(preview::MakeLayout(64, 48, caption).viewHeight, 48);
  Image left(wide.overviewWidth, wide.viewHeight);
  Image right(preview::NearLens(wide).width, wide.viewHeight);
  FillRect(left, 0, 0, left.width(), left.height(), {1.0f, 0.0f, 0.0f});
  FillRect(right, 0, 0, right.width(), right.height(), {0.0f, 0.0f, 1.0f});
  const Image picture = preview::Compose(wide, caption, preview::PaintCaption(wide, caption), left, right);
  EXPECT_TRUE(Same(picture.at(100, wide.viewHeight - 1), {1.0f, 0.0f, 0.0f}));
  EXPECT_TRUE(Same(picture.at(1279, wide.viewHeight - 1), {0.0f, 0.0f, 1.0f}));
  EXPECT_FALSE(Same(picture.at(20, 20), {1.0f, 0.0f, 0.0f})) << "the label over the overview";
}

// A file that only adds rules is no file of defaults: the caption lists [MAIN]'s rule keys and every rule of a section.
TEST(PreviewRender, TheCaptionListsTheRulesKeysAndEachRuleOfASection) {
  const preview::ScenarioSettings settings = preview::ScenarioSettingsFrom(
      "[MAIN]\nTrailColour=0,0,255\nBannerTexture=Flag\n[Trail 600]\nTrailColour=255,40,40\nTrailWidth=3\n"
      "[Banner 0x263]\nBannerTexture=Banner2\nEnableBanner=0\n");
  const std::vector<std::string> expected = {"TrailColour=0,0,255", "BannerTexture=Flag",
                                             "[Trail 600] TrailColour=255,40,40 TrailWidth=3",
                                             "[Banner 611] BannerTexture=Banner2 EnableBanner=0"};
  EXPECT_EQ(preview::RuleSettings(), expected);
  std::string words = "|";
  for (const preview::CaptionItem& item :
       preview::MakeCaption({"Zephrel.dll", "my.ini", 40.0f, 12, false, settings}).items) {
    words += item.text + "|";
  }
  EXPECT_NE(words.find("|my.ini, not at their defaults:|" + expected[0] + "|" + expected[1] + "|" + expected[2]),
            std::string::npos)
      << words;
  preview::ScenarioSettingsFrom("");
  EXPECT_TRUE(preview::RuleSettings().empty());
  std::string nine;
  for (int k = 1; k <= 9; ++k) nine += "[Banner " + std::to_string(600 + k) + "]\n";
  preview::ScenarioSettingsFrom(nine);
  EXPECT_EQ(preview::RuleSettings().back(), "2 rule section(s) not read: 8 rules of a kind at most");
}

// A file the plug-in does not read says why, rather than that its settings are the defaults.
TEST(PreviewRender, TheCaptionTellsWhyAFileWasNotRead) {
  const std::pair<config::IniTextStatus, const char*> cases[] = {
      {config::IniTextStatus::kRead, "|my.ini: every setting at its default|"},
      {config::IniTextStatus::kTooLarge,
       "|my.ini: larger than 1048576 bytes, too large for a configuration: not read, so every setting at its "
       "default|"},
      {config::IniTextStatus::kUnreadable, "|my.ini: cannot be read, so every setting at its default|"},
  };
  for (const auto& [status, expected] : cases) {
    preview::ScenarioSettings settings = preview::DefaultScenarioSettings();
    settings.iniStatus = status;
    std::string words = "|";
    for (const preview::CaptionItem& item :
         preview::MakeCaption({"Zephrel.dll", "my.ini", 40.0f, 12, false, settings}).items) {
      words += item.text + "|";
    }
    EXPECT_NE(words.find(expected), std::string::npos) << expected << " in " << words;
  }
}

}  // namespace
