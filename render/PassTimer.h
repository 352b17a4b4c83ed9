#pragma once

// A profiling seam around the passes of a frame. The frame code marks where each pass begins
// and ends; a tool that wants to time them installs an observer. The demo installs none, so a
// mark costs one pointer test.

enum class PassId { Shadow, Reflection, Scene, Post, Mipmaps, Count };

// Receives the marks of the frame code. Marks of one kind do not nest, except that the mipmap
// rebuilds lie inside the scene pass.
class PassObserver {
public:
    virtual ~PassObserver() = default;
    virtual void passBegin(PassId pass) = 0;
    virtual void passEnd(PassId pass) = 0;
};

// The observer in use; null unless a tool installs one (and then it must outlive the frames).
extern PassObserver* passObserver;

// Called by the frame code right before and right after the work of a pass.
inline void beginPass(PassId pass) {
    if (passObserver != nullptr) passObserver->passBegin(pass);
}
inline void endPass(PassId pass) {
    if (passObserver != nullptr) passObserver->passEnd(pass);
}

// "shadow", "reflection", "scene", "post", "mipmaps": the names the tools print.
const char* passName(PassId pass);
