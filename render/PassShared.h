#pragma once

#include <cstddef>

// The passes that draw the sky draw exactly this many walls of skyPlanes.
inline constexpr std::size_t kSkyPlaneCount = 5;
