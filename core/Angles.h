#pragma once

// Single-precision pi, as every degree-to-radian conversion of the program uses it.
inline constexpr float kPi = 3.1415927f;
inline float toRadians(float degrees) { return degrees * kPi / 180.0f; }
