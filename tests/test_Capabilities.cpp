// What the start-up check refuses, and the one line it says it with.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "render/Capabilities.h"

namespace {

GlCapabilities everything() {
    GlCapabilities offered;
    offered.gl45 = true;
    offered.glsl450 = true;
    offered.tessellation = true;
    offered.layeredRendering = true;
    offered.floatTextures = true;
    offered.textureUnits = kTextureUnitsNeeded;
    return offered;
}

}  // namespace

TEST(Capabilities, EachMissingFeatureIsNamedAloneAndFourteenUnitsAreEnough) {
    EXPECT_TRUE(missingCapabilities(everything()).empty());

    struct Case {
        bool GlCapabilities::*feature;
        const char* name;
    };
    for (const Case& c :
         {Case{&GlCapabilities::gl45, "OpenGL 4.5"}, Case{&GlCapabilities::glsl450, "GLSL 4.50"},
          Case{&GlCapabilities::tessellation, "tessellation shaders"},
          Case{&GlCapabilities::layeredRendering, "layered rendering from geometry shaders"},
          Case{&GlCapabilities::floatTextures, "float textures"}}) {
        GlCapabilities offered = everything();
        offered.*(c.feature) = false;
        EXPECT_EQ(missingCapabilities(offered), std::vector<std::string>{c.name});
    }

    // Units 0 to 13 are sampled (the ground's picture for the sky walls is the last).
    GlCapabilities units = everything();
    units.textureUnits = 13;
    EXPECT_EQ(missingCapabilities(units),
              std::vector<std::string>{"14 texture units (it has 13)"});
    units.textureUnits = 14;
    EXPECT_TRUE(missingCapabilities(units).empty());
}

TEST(Capabilities, TheRefusalIsOneLineWithTheRendererItsVersionAndEverythingMissing) {
    // A GL 3.3 driver: no 4.5, no GLSL 4.50, and here no tessellation either.
    GlCapabilities offered = everything();
    offered.gl45 = false;
    offered.glsl450 = false;
    offered.tessellation = false;
    EXPECT_EQ(capabilityRefusal("softpipe", "3.3 (Compatibility Profile) Mesa 22.3.6",
                                missingCapabilities(offered)),
              "Pelk needs OpenGL 4.5; this driver (softpipe, OpenGL 3.3 (Compatibility Profile) "
              "Mesa 22.3.6) lacks: OpenGL 4.5; GLSL 4.50; tessellation shaders");
}
