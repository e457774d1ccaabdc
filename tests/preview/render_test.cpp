// The preview's painter on hand-made records: lines and triangles land where the camera projects them, with
// their alpha, the stand-in texture and near-plane clipping; markers, lights and the PNG file.

#include "render.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

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
  batch.primitiveType = preview::kLineList;
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
  batch.primitiveType = preview::kTriangleList;
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

TEST(PreviewRender, ATexturedStripShowsTheStandInStripesAcrossU) {
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
      {"no raster: plain white", 0, 0.05f, {1.0f, 1.0f, 1.0f}},
      {"no raster, anywhere", 0, 0.15f, {1.0f, 1.0f, 1.0f}},
  };
  EXPECT_FALSE(Same(preview::StandInTexel(0.05f, 0.5f), preview::StandInTexel(0.15f, 0.5f)));
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
  const Image picture = Paint(
      camera, {},
      {{trail, AircraftKind::Trail}, {banner, AircraftKind::Banner}, {{0.0f, -200.0f, 50.0f}, AircraftKind::Trail}});
  const auto t = preview::Project(camera, trail);
  const auto b = preview::Project(camera, banner);
  const Colour& trailMark = picture.at(Pixel(t->x), Pixel(t->y));
  const Colour& bannerMark = picture.at(Pixel(b->x), Pixel(b->y));
  EXPECT_FALSE(Same(trailMark, bannerMark, 0.1f));
  EXPECT_FALSE(Same(trailMark, Paint(camera, {}).at(Pixel(t->x), Pixel(t->y)), 0.1f));
}

TEST(PreviewRender, ShownLightSpritesBecomeGlowingDots) {
  simhost::Record record;
  auto sprite = [](const char* entry, std::uint32_t red, float x) {
    std::vector<std::uint32_t> args(21, 0);
    args[0] = 101;
    args[2] = red;
    args[5] = 255;
    args[7] = simhost::Bits(5.0f);
    args.insert(args.end(), {simhost::Bits(x), simhost::Bits(0.0f), simhost::Bits(50.0f)});
    return simhost::Call{entry, args, ""};
  };
  record.calls = {sprite("ShowLightSprite", 255, -10.0f), sprite("UpdateLightSprite", 255, 10.0f),
                  sprite("ShowLightSprite", 0, 10.0f)};
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
  const std::string path = testing::TempDir() + "preview-" + std::to_string(getpid()) + ".png";
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
  std::remove(path.c_str());
  EXPECT_FALSE(preview::WritePng(image, "/nonexistent-directory/preview.png"));
}

}  // namespace
