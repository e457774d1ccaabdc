#pragma once
// The circle the banner aircraft flies, in the preview's scenario and in the browser page's flight alike: on the
// camera's side of where the trail aircraft cross, since a banner is drawn only near the camera.

#include <cmath>

namespace flights {

inline constexpr float kCircleCentreX = -40.0f;
inline constexpr float kCircleCentreY = -70.0f;
inline constexpr float kCircleRadius = 30.0f;
inline constexpr float kCircleRate = 0.35f;  // radians per second

struct CirclePoint {
  float x;
  float y;
};

// Where on the circle the aircraft is `seconds` into the flight.
inline CirclePoint BannerCirclePoint(float seconds) {
  const float angle = kCircleRate * seconds;
  return {kCircleCentreX + kCircleRadius * std::cos(angle), kCircleCentreY + kCircleRadius * std::sin(angle)};
}

}  // namespace flights
