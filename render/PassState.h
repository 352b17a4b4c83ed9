#pragma once

#include <GL/glew.h>

// The GL state that the passes set for themselves at their start, whatever the pass before
// them left: each pass binds its framebuffer, sets its viewport, its depth testing and, where it
// matters, its polygon mode, and binds on each unit that its stages sample the texture and the
// sampler object it reads there.

// Binds `texture` to `target` on a texture unit, read through `sampler` (0: the texture's own
// parameters). Leaves that unit active.
void bindTexture(int unit, GLenum target, GLuint texture, GLuint sampler = 0);

// Depth testing with GL_LESS and depth writes, both on (also what a depth clear needs) or both
// off (the sky: drawn first, hiding nothing).
void setDepthTesting(bool on);
