#include "render.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <optional>

namespace preview {
namespace {

constexpr float kInfinity = std::numeric_limits<float>::infinity();
constexpr float kLineWidth = 2.0f;  // pixels; the host draws one-pixel lines, a little more reads better
constexpr float kGridSpacing = 50.0f;
constexpr int kMajorGridEvery = 5;

struct Palette {
  Colour zenith;
  Colour horizon;
  Colour ground;
  Colour grid;
};

constexpr Palette kDay{{0.16f, 0.36f, 0.72f}, {0.68f, 0.79f, 0.92f}, {0.36f, 0.46f, 0.30f}, {0.22f, 0.30f, 0.19f}};
constexpr Palette kNight{{0.01f, 0.015f, 0.05f}, {0.07f, 0.09f, 0.17f}, {0.05f, 0.07f, 0.06f}, {0.12f, 0.15f, 0.13f}};

// What a vertex carries into the picture; interpolated across lines and triangles, perspective-correct.
struct Attributes {
  float alpha;
  float u;
  float v;
  Colour colour;
};

Attributes Lerp(const Attributes& a, const Attributes& b, float t) {
  return {a.alpha + (b.alpha - a.alpha) * t, a.u + (b.u - a.u) * t, a.v + (b.v - a.v) * t, Mix(a.colour, b.colour, t)};
}

Attributes Scaled(const Attributes& a, float factor) {
  return {
      a.alpha * factor, a.u * factor, a.v * factor, {a.colour.r * factor, a.colour.g * factor, a.colour.b * factor}};
}

Attributes Sum(const Attributes& a, const Attributes& b) {
  return {a.alpha + b.alpha,
          a.u + b.u,
          a.v + b.v,
          {a.colour.r + b.colour.r, a.colour.g + b.colour.g, a.colour.b + b.colour.b}};
}

// The colour word holds alpha, red, green and blue from the top byte down.
Attributes AttributesOf(const host::ImmediateVertex& vertex) {
  auto channel = [&](int shift) { return static_cast<float>((vertex.colour >> shift) & 0xFFu) / 255.0f; };
  return {channel(24), vertex.u, vertex.v, {channel(16), channel(8), channel(0)}};
}

struct ViewVertex {
  Vector3 position;  // view space
  Attributes attributes;
};

// A projected vertex: screen position, 1/depth, and the attributes divided by depth.
struct ScreenVertex {
  float x;
  float y;
  float inverseDepth;
  Attributes attributesOverDepth;
};

ScreenVertex ToScreen(const View& view, const ViewVertex& vertex) {
  const ScreenPoint point = ProjectViewPoint(view, vertex.position);
  const float inverse = 1.0f / vertex.position.z;
  return {point.x, point.y, inverse, Scaled(vertex.attributes, inverse)};
}

bool IsOnFiniteScreen(const ScreenVertex& vertex) {
  return std::isfinite(vertex.x) && std::isfinite(vertex.y) && std::isfinite(vertex.inverseDepth);
}

ViewVertex CutAtNearPlane(const ViewVertex& inside, const ViewVertex& outside) {
  const float t = (kNearPlane - inside.position.z) / (outside.position.z - inside.position.z);
  return {Add(inside.position, Scale(Subtract(outside.position, inside.position), t)),
          Lerp(inside.attributes, outside.attributes, t)};
}

class Canvas {
 public:
  Canvas(const Camera& camera, bool night)
      : view_(MakeView(camera)),
        image_(camera.width, camera.height),
        depth_(static_cast<std::size_t>(image_.width()) * static_cast<std::size_t>(image_.height()), kInfinity),
        palette_(night ? kNight : kDay) {}
  // Starts from a backdrop painted before, of the same size.
  Canvas(const Camera& camera, const Backdrop& backdrop)
      : view_(MakeView(camera)), image_(backdrop.image), depth_(backdrop.depth), palette_(kDay) {}

  void PaintBackground();
  void DrawBatch(const simhost::Batch& batch);
  void DrawLight(const Light& light);
  void MarkAircraft(const Aircraft& aircraft);
  Image Take() { return std::move(image_); }
  Backdrop TakeBackdrop() { return {std::move(image_), std::move(depth_)}; }

 private:
  float& Depth(int x, int y) {
    return depth_[static_cast<std::size_t>(y) * static_cast<std::size_t>(image_.width()) + static_cast<std::size_t>(x)];
  }
  bool Inside(int x, int y) const { return x >= 0 && y >= 0 && x < image_.width() && y < image_.height(); }
  // Where a marked point lands in the picture; nothing when it cannot be seen.
  std::optional<ScreenPoint> Place(const Vector3& world) const;

  void DrawLine(ViewVertex a, ViewVertex b, int cloth);
  void DrawTriangle(const std::array<ViewVertex, 3>& triangle, int cloth);
  void FillScreenTriangle(ScreenVertex a, ScreenVertex b, ScreenVertex c, int cloth);
  // Lays one fragment over the picture unless the ground in front of it hides it.
  void Shade(int x, int y, float inverseDepth, const Attributes& attributesOverDepth, float coverage, int cloth);

  View view_;
  Image image_;
  std::vector<float> depth_;  // view depth of the ground, infinite where the sky is
  Palette palette_;
};

void Canvas::PaintBackground() {
  const float worldPerPixel = 1.0f / view_.focal;
  for (int y = 0; y < image_.height(); ++y) {
    for (int x = 0; x < image_.width(); ++x) {
      const float sx = (static_cast<float>(x) + 0.5f - view_.centreX) / view_.focal;
      const float sy = (view_.centreY - static_cast<float>(y) - 0.5f) / view_.focal;
      // The ray through the pixel, scaled so that it advances one unit of depth per unit of t.
      const Vector3 ray = Add(view_.forward, Add(Scale(view_.right, sx), Scale(view_.up, sy)));
      const float rayLength = Length(ray);
      if (view_.position.z > 0.0f && ray.z < 0.0f) {
        const float t = -view_.position.z / ray.z;
        const Vector3 hit = Add(view_.position, Scale(ray, t));
        const float distance = t * rayLength;
        // Grid lines a pixel or so wide, fading out with distance before they could shimmer.
        const float footprint = distance * worldPerPixel;
        auto lineCoverage = [&](float coordinate, float spacing) {
          const float offset = std::fabs(coordinate - spacing * std::round(coordinate / spacing));
          return std::clamp(1.0f - offset / (0.8f * footprint + 0.3f), 0.0f, 1.0f);
        };
        const float minor = std::max(lineCoverage(hit.x, kGridSpacing), lineCoverage(hit.y, kGridSpacing));
        const float major = std::max(lineCoverage(hit.x, kGridSpacing * kMajorGridEvery),
                                     lineCoverage(hit.y, kGridSpacing * kMajorGridEvery));
        const float fade = std::exp(-distance / 2500.0f);
        Colour colour = Mix(palette_.ground, palette_.grid, std::max(minor * 0.5f, major) * fade);
        colour = Mix(colour, palette_.horizon, 1.0f - std::exp(-distance / 6000.0f));
        image_.at(x, y) = colour;
        Depth(x, y) = t;
      } else {
        const float elevation = std::max(ray.z / rayLength, 0.0f);
        image_.at(x, y) = Mix(palette_.horizon, palette_.zenith, std::pow(elevation, 0.6f));
      }
    }
  }
}

void Canvas::Shade(int x, int y, float inverseDepth, const Attributes& attributesOverDepth, float coverage, int cloth) {
  if (!Inside(x, y) || !(inverseDepth > 0.0f)) return;
  const float depth = 1.0f / inverseDepth;
  if (!(depth < Depth(x, y))) return;
  const Attributes a = Scaled(attributesOverDepth, depth);
  Colour colour = a.colour;
  if (cloth >= 0) {
    const Colour texel = StandInTexel(a.u, a.v, cloth);
    colour = {colour.r * texel.r, colour.g * texel.g, colour.b * texel.b};
  }
  image_.Blend(x, y, colour, a.alpha * coverage);
}

void Canvas::DrawBatch(const simhost::Batch& batch) {
  if (!batch.rendered) return;
  const auto raster = batch.renderStates.find(host::kRenderStateTextureRaster);
  // The host hands out rasters in the order the plug-in reads textures: "Banner" first, then each rule's own.
  const int cloth = raster == batch.renderStates.end() || raster->second == 0 ? -1
                    : raster->second >= simhost::kFirstRaster
                        ? static_cast<int>((raster->second - simhost::kFirstRaster) % 64)
                        : 0;
  const std::size_t corners = batch.primitiveType == host::kPrimitiveLineList       ? 2
                              : batch.primitiveType == host::kPrimitiveTriangleList ? 3
                                                                                    : 0;
  if (corners == 0) return;
  for (std::size_t first = 0; first + corners <= batch.indices.size(); first += corners) {
    std::array<ViewVertex, 3> primitive{};
    bool usable = true;
    for (std::size_t k = 0; k < corners; ++k) {
      const std::uint16_t index = batch.indices[first + k];
      if (index >= batch.vertices.size() || !IsFinite(batch.vertices[index].position)) {
        usable = false;
        break;
      }
      const host::ImmediateVertex& vertex = batch.vertices[index];
      primitive[k] = {ToViewSpace(view_, vertex.position), AttributesOf(vertex)};
    }
    if (!usable) continue;
    if (corners == 2)
      DrawLine(primitive[0], primitive[1], cloth);
    else
      DrawTriangle(primitive, cloth);
  }
}

void Canvas::DrawLine(ViewVertex a, ViewVertex b, int cloth) {
  if (a.position.z < kNearPlane && b.position.z < kNearPlane) return;
  if (a.position.z < kNearPlane) a = CutAtNearPlane(b, a);
  if (b.position.z < kNearPlane) b = CutAtNearPlane(a, b);
  const ScreenVertex p = ToScreen(view_, a);
  const ScreenVertex q = ToScreen(view_, b);
  if (!IsOnFiniteScreen(p) || !IsOnFiniteScreen(q)) return;

  // Keep the part of the segment over the picture (Liang-Barsky); screen-space parameters suit the
  // perspective-correct interpolation of 1/depth and attributes/depth.
  const float dx = q.x - p.x;
  const float dy = q.y - p.y;
  float enter = 0.0f;
  float leave = 1.0f;
  const float pad = kLineWidth + 1.0f;
  const float limits[4][2] = {{-dx, p.x + pad},
                              {dx, static_cast<float>(image_.width()) + pad - p.x},
                              {-dy, p.y + pad},
                              {dy, static_cast<float>(image_.height()) + pad - p.y}};
  for (const auto& [direction, room] : limits) {
    if (direction == 0.0f) {
      if (room < 0.0f) return;
    } else {
      const float t = room / direction;
      if (direction < 0.0f)
        enter = std::max(enter, t);
      else
        leave = std::min(leave, t);
    }
  }
  if (enter > leave) return;

  const bool alongX = std::fabs(dx) >= std::fabs(dy);
  const float major = alongX ? dx : dy;
  const float slope = major != 0.0f ? (alongX ? dy : dx) / major : 0.0f;
  const float spanWidth = kLineWidth * std::sqrt(1.0f + slope * slope);
  const int steps = std::max(1, static_cast<int>(std::ceil(std::fabs(major) * (leave - enter))));
  // Half-open: the end pixel belongs to the next segment of a line list that continues there.
  for (int step = 0; step < steps; ++step) {
    const float t = enter + (leave - enter) * (static_cast<float>(step) + 0.5f) / static_cast<float>(steps);
    const float x = p.x + dx * t;
    const float y = p.y + dy * t;
    const float inverseDepth = p.inverseDepth + (q.inverseDepth - p.inverseDepth) * t;
    const Attributes over = Lerp(p.attributesOverDepth, q.attributesOverDepth, t);
    const float centre = alongX ? y : x;
    const int column = static_cast<int>(std::floor(alongX ? x : y));
    const float low = centre - spanWidth * 0.5f;
    const float high = centre + spanWidth * 0.5f;
    for (int cell = static_cast<int>(std::floor(low)); cell <= static_cast<int>(std::floor(high)); ++cell) {
      const float coverage = std::min(high, static_cast<float>(cell + 1)) - std::max(low, static_cast<float>(cell));
      if (coverage <= 0.0f) continue;
      if (alongX)
        Shade(column, cell, inverseDepth, over, coverage, cloth);
      else
        Shade(cell, column, inverseDepth, over, coverage, cloth);
    }
  }
}

void Canvas::DrawTriangle(const std::array<ViewVertex, 3>& triangle, int cloth) {
  // Cut at the near plane: what is left is a triangle or a quadrilateral.
  std::array<ViewVertex, 4> polygon{};
  int count = 0;
  for (int k = 0; k < 3; ++k) {
    const ViewVertex& current = triangle[k];
    const ViewVertex& next = triangle[(k + 1) % 3];
    const bool currentIn = current.position.z >= kNearPlane;
    const bool nextIn = next.position.z >= kNearPlane;
    if (currentIn) polygon[count++] = current;
    if (currentIn != nextIn)
      polygon[count++] = currentIn ? CutAtNearPlane(current, next) : CutAtNearPlane(next, current);
  }
  if (count < 3) return;
  std::array<ScreenVertex, 4> screen{};
  for (int k = 0; k < count; ++k) {
    screen[k] = ToScreen(view_, polygon[k]);
    if (!IsOnFiniteScreen(screen[k])) return;
  }
  for (int k = 1; k + 1 < count; ++k) FillScreenTriangle(screen[0], screen[k], screen[k + 1], cloth);
}

float Edge(const ScreenVertex& a, const ScreenVertex& b, float x, float y) {
  return (b.x - a.x) * (y - a.y) - (b.y - a.y) * (x - a.x);
}

// Pixels whose centre lies exactly on an edge shared by two triangles belong to one of them only, so a
// translucent quad shows no seam along its diagonal.
bool IsTopLeft(const ScreenVertex& a, const ScreenVertex& b) { return (a.y == b.y && b.x > a.x) || b.y < a.y; }

void Canvas::FillScreenTriangle(ScreenVertex a, ScreenVertex b, ScreenVertex c, int cloth) {
  float area = Edge(a, b, c.x, c.y);
  if (area < 0.0f) {
    std::swap(b, c);
    area = -area;
  }
  if (!(area > 1e-6f)) return;
  auto bound = [](float value, int limit) {
    return static_cast<int>(std::clamp(value, 0.0f, static_cast<float>(limit)));
  };
  const int left = bound(std::floor(std::min({a.x, b.x, c.x})), image_.width() - 1);
  const int right = bound(std::ceil(std::max({a.x, b.x, c.x})), image_.width() - 1);
  const int top = bound(std::floor(std::min({a.y, b.y, c.y})), image_.height() - 1);
  const int bottom = bound(std::ceil(std::max({a.y, b.y, c.y})), image_.height() - 1);
  const bool topLeftA = IsTopLeft(b, c);
  const bool topLeftB = IsTopLeft(c, a);
  const bool topLeftC = IsTopLeft(a, b);
  for (int y = top; y <= bottom; ++y) {
    for (int x = left; x <= right; ++x) {
      const float px = static_cast<float>(x) + 0.5f;
      const float py = static_cast<float>(y) + 0.5f;
      const float wa = Edge(b, c, px, py);
      const float wb = Edge(c, a, px, py);
      const float wc = Edge(a, b, px, py);
      auto inside = [](float w, bool topLeft) { return w > 0.0f || (w == 0.0f && topLeft); };
      if (!inside(wa, topLeftA) || !inside(wb, topLeftB) || !inside(wc, topLeftC)) continue;
      const float la = wa / area;
      const float lb = wb / area;
      const float lc = wc / area;
      const float inverseDepth = la * a.inverseDepth + lb * b.inverseDepth + lc * c.inverseDepth;
      const Attributes over = Sum(Sum(Scaled(a.attributesOverDepth, la), Scaled(b.attributesOverDepth, lb)),
                                  Scaled(c.attributesOverDepth, lc));
      Shade(x, y, inverseDepth, over, 1.0f, cloth);
    }
  }
}

// Pixels around a projected point, up to `reach` away, with their distance from it; clipped to the picture.
template <typename Paint>
void AroundPoint(const Image& image, float cx, float cy, float reach, Paint paint) {
  auto bound = [](float value, int limit) {
    return static_cast<int>(std::clamp(value, -1.0f, static_cast<float>(limit)));
  };
  for (int y = bound(std::floor(cy - reach), image.height()); y <= bound(std::ceil(cy + reach), image.height()); ++y) {
    for (int x = bound(std::floor(cx - reach), image.width()); x <= bound(std::ceil(cx + reach), image.width()); ++x) {
      if (x < 0 || y < 0 || x >= image.width() || y >= image.height()) continue;
      paint(x, y, static_cast<float>(x) + 0.5f - cx, static_cast<float>(y) + 0.5f - cy);
    }
  }
}

std::optional<ScreenPoint> Canvas::Place(const Vector3& world) const {
  if (!IsFinite(world)) return std::nullopt;
  const Vector3 centre = ToViewSpace(view_, world);
  if (!(centre.z >= kNearPlane)) return std::nullopt;
  const ScreenPoint point = ProjectViewPoint(view_, centre);
  if (!std::isfinite(point.x) || !std::isfinite(point.y)) return std::nullopt;
  return point;
}

void Canvas::DrawLight(const Light& light) {
  const std::optional<ScreenPoint> point = Place(light.position);
  if (!point) return;
  const float radius = std::clamp(light.size * view_.focal / point->depth, 4.0f, 200.0f);  // seen from afar too
  AroundPoint(image_, point->x, point->y, radius * 2.5f, [&](int x, int y, float dx, float dy) {
    if (!(point->depth < Depth(x, y))) return;
    const float r2 = (dx * dx + dy * dy) / (radius * radius);
    const float glow = std::exp(-2.0f * r2);
    Colour& pixel = image_.at(x, y);
    pixel = {pixel.r + light.colour.r * glow, pixel.g + light.colour.g * glow, pixel.b + light.colour.b * glow};
    if (r2 < 0.1f) image_.Blend(x, y, {1.0f, 1.0f, 1.0f}, 0.8f);  // the hot core
  });
}

void Canvas::MarkAircraft(const Aircraft& aircraft) {
  const std::optional<ScreenPoint> point = Place(aircraft.position);
  if (point) PaintMarker(image_, point->x, point->y, aircraft.kind);
}

}  // namespace

std::vector<Light> ShownLights(const simhost::Record& record) {
  std::vector<Light> lights;
  std::vector<std::uint32_t> ids;  // of each light
  for (const simhost::Call& call : record.calls) {
    // The recorder appends the position the sprite was given to its 21 arguments.
    if (call.entry != "ShowLightSprite" || call.args.size() < 24) continue;
    auto channel = [&](std::size_t k) {
      return static_cast<float>(std::min<std::uint32_t>(call.args[k], 255)) / 255.0f;
    };
    Colour colour{channel(2), channel(3), channel(4)};
    if (colour.r + colour.g + colour.b == 0.0f) colour = {1.0f, 1.0f, 1.0f};
    const float size = simhost::AsFloat(call.args[7]);
    const Light light{
        {simhost::AsFloat(call.args[21]), simhost::AsFloat(call.args[22]), simhost::AsFloat(call.args[23])},
        std::isfinite(size) && size > 0.0f ? size : 1.0f,
        colour};
    // A sprite shown again in the same frame is the same light, where it was shown last.
    const auto same = std::find(ids.begin(), ids.end(), call.args[0]);
    if (same != ids.end()) {
      lights[static_cast<std::size_t>(same - ids.begin())] = light;
    } else {
      lights.push_back(light);
      ids.push_back(call.args[0]);
    }
  }
  return lights;
}

Colour StandInTexel(float u, float v, int cloth) {
  constexpr Colour kEdge{0.10f, 0.14f, 0.45f};
  constexpr Colour kStripe[] = {{0.85f, 0.12f, 0.12f}, {0.10f, 0.60f, 0.20f}, {0.90f, 0.68f, 0.08f},
                                {0.20f, 0.40f, 0.90f}, {0.60f, 0.20f, 0.70f}, {0.95f, 0.45f, 0.10f},
                                {0.10f, 0.60f, 0.60f}, {0.30f, 0.30f, 0.30f}};
  constexpr int kCloths = sizeof kStripe / sizeof kStripe[0];
  constexpr Colour kWhite{0.97f, 0.97f, 0.94f};
  constexpr int kStripes = 10;
  if (v < 0.15f || v > 0.85f) return kEdge;
  const float across = std::isfinite(u) ? std::clamp(u, 0.0f, 0.9999f) : 0.0f;
  return static_cast<int>(across * kStripes) % 2 == 0 ? kStripe[(cloth % kCloths + kCloths) % kCloths] : kWhite;
}

Image RenderShot(const Shot& shot, bool night, const Backdrop* backdrop) {
  return Render(shot.camera, {shot.batches, shot.aircraft, shot.lights, night}, backdrop);
}

void PaintMarker(Image& image, float x, float y, AircraftKind kind) {
  const Colour fill = kind == AircraftKind::Trail    ? Colour{1.0f, 0.55f, 0.1f}
                      : kind == AircraftKind::Banner ? Colour{0.95f, 0.2f, 0.85f}
                                                     : Colour{0.75f, 0.75f, 0.75f};
  // How far outside the shape a pixel lies: 0 or less is inside.
  auto extent = [&](float dx, float dy) {
    switch (kind) {
      case AircraftKind::Trail: {
        const float alongDiagonals = std::min(std::fabs(dx - dy), std::fabs(dx + dy)) * 0.7071f;
        return std::max(alongDiagonals - 1.2f, std::max(std::fabs(dx), std::fabs(dy)) - 6.0f);
      }
      case AircraftKind::Banner:
        return std::fabs(dx) + std::fabs(dy) - 6.0f;
      case AircraftKind::Plain:
        break;
    }
    return std::fabs(std::sqrt(dx * dx + dy * dy) - 4.5f) - 1.2f;
  };
  AroundPoint(image, x, y, 9.0f, [&](int px, int py, float dx, float dy) {
    const float e = extent(dx, dy);
    if (e <= 0.0f)
      image.at(px, py) = fill;
    else if (e <= 1.5f)
      image.Blend(px, py, {0.0f, 0.0f, 0.0f}, 0.7f);
  });
}

Backdrop PaintBackdrop(const Camera& camera, bool night) {
  Canvas canvas(camera, night);
  canvas.PaintBackground();
  return canvas.TakeBackdrop();
}

Image Render(const Camera& camera, const Scene& scene, const Backdrop* backdrop) {
  const bool reuse =
      backdrop != nullptr && backdrop->image.width() == camera.width && backdrop->image.height() == camera.height;
  Canvas canvas = reuse ? Canvas(camera, *backdrop) : Canvas(camera, scene.night);
  if (!reuse) canvas.PaintBackground();
  for (const simhost::Batch& batch : scene.batches) canvas.DrawBatch(batch);
  for (const Light& light : scene.lights) canvas.DrawLight(light);
  for (const Aircraft& aircraft : scene.aircraft) canvas.MarkAircraft(aircraft);
  return canvas.Take();
}

}  // namespace preview
