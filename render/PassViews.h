#pragma once

#include <array>
#include <cstddef>
#include <string>

// Views of what each pass made this frame, drawn onto the window's framebuffer in place of the
// finished picture: the two cubes unfolded as a cross, the scene's images stretched over the
// picture's place as the post pass stretches them. Float images are mapped to visible ranges:
// colours from linear light with a gamma curve, depths linearised and stretched between the
// nearest and farthest texel of this frame, the moments likewise.
//
// The views have their own small programs, compiled from text kept in PassViews.cpp at their
// first use; they are not among the stage files of ./src, which hold the demo's pipeline.

enum class PassView {
    Picture,        // the finished picture (the post pass's); nothing is drawn over it
    ShadowDepth,    // the shadow cube's depth
    ShadowMoments,  // the shadow cube's moments (distance and its square)
    Reflection,     // the reflection cube's colour
    SceneColor,     // the scene image before the post pass
    SceneDepth,     // the scene image's depth
    Count
};
inline constexpr std::size_t kPassViewCount = static_cast<std::size_t>(PassView::Count);

// The views in the order of their number keys, 0 to 5.
inline constexpr std::array<PassView, kPassViewCount> kPassViews = {
    PassView::Picture,    PassView::ShadowDepth, PassView::ShadowMoments,
    PassView::Reflection, PassView::SceneColor,  PassView::SceneDepth};

// "picture", "shadow-depth", "shadow-moments", "reflection", "scene-color", "scene-depth": the
// names of the capture tool's files.
const char* passViewName(PassView view);
// What the view shows, for the overlay ("the shadow cube's depth").
const char* passViewTitle(PassView view);

// The values that a view stretches over its brightness: distances in world units for the
// depths and the moments, linear light for the colours.
struct ViewRange {
    float low = 0.0f;
    float high = 1.0f;
};

// The range that the view maps this frame: the nearest and farthest texel where something was
// drawn (read back from the image, so only while the view is shown), or 0 to 1 of linear light.
ViewRange viewRange(PassView view);
// One line for people on what the colours of the view mean with that range ("white 2.31 to
// black 48.7 units from the light, along the face's axis; blue: nothing drawn").
std::string describeViewRange(PassView view, ViewRange range);

// After the post pass, on the window's framebuffer: clears it and draws the view over the
// picture's place (pictureViewport), with the range given. Leaves the GL state as it found it.
// Nothing for PassView::Picture. Returns false where the view's program did not build (its log
// printed once).
bool drawPassView(PassView view, ViewRange range);

// The view programs' stage texts, for an outside compiler: the vertex stage, and the fragment
// stage of the cube views (cube true) or of the flat ones.
const char* passViewVertexText();
std::string passViewFragmentText(bool cube);
