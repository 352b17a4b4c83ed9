#include "render/PassViews.h"

#include <GL/glew.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "camera/Camera.h"
#include "core/Platform.h"
#include "render/PostProcessPass.h"
#include "render/Programs.h"
#include "render/ShadowPass.h"
#include "render/Targets.h"

namespace {

// How a view turns its image's texels into colours; the fragment stage's MAPPING_ numbers.
enum class Mapping { Color = 0, Depth = 1, Moments = 2 };

// What a view samples and how.
struct ViewSource {
    GLenum target = GL_TEXTURE_2D;
    GLuint texture = 0;
    Mapping mapping = Mapping::Color;
    // Depth: the near and far planes of the projection that wrote it. Moments: 0 and the
    // distance that the stored values are divided by.
    float nearPlane = 0.0f;
    float farPlane = 1.0f;
};

ViewSource sourceOf(PassView view) {
    const CubeMapTarget& shadow = targets.shadowCubeTarget;
    const SceneTarget& sceneImages = targets.sceneTarget;
    switch (view) {
        case PassView::ShadowDepth:
            return {GL_TEXTURE_CUBE_MAP, shadow.depthCube, Mapping::Depth, kLightNearPlane,
                    kLightFarPlane};
        case PassView::ShadowMoments:
            // The shadow stage stores the distance to the light divided by the far value of
            // its "near_far_plane", and that distance's square likewise.
            return {GL_TEXTURE_CUBE_MAP, shadow.colorCube, Mapping::Moments, 0.0f,
                    kUniformFarPlane};
        case PassView::Reflection:
            return {GL_TEXTURE_CUBE_MAP, targets.reflectionCubeTarget.colorCube, Mapping::Color};
        case PassView::SceneColor:
            return {GL_TEXTURE_2D, sceneImages.colorTexture, Mapping::Color};
        case PassView::SceneDepth:
            return {GL_TEXTURE_2D, sceneImages.depthTexture, Mapping::Depth, mainCamera.nearPlane,
                    mainCamera.farPlane};
        case PassView::Picture:
        case PassView::Count:
            break;
    }
    return {};
}

// Stage texts. The vertex stage makes the picture's quad from the vertex number alone, so that
// drawing a view needs no buffer and touches no vertex attribute.
const char* const kVertexText = R"(#version 450
// A pass's image over the picture's place: a quad from the vertex number, no attributes.
layout(location = 0) out vec2 picturePosition;  // 0 to 1 across the picture, y up

void main() {
    vec2 corner = vec2(float(gl_VertexID & 1), float(gl_VertexID >> 1));
    picturePosition = corner;
    gl_Position = vec4(corner * 2.0 - 1.0, 0.0, 1.0);
}
)";

const char* const kFragmentText = R"(
// A pass's image in visible colours: linear light through a gamma curve, depths linearised and
// stretched over a range of distances (near white, far black), the shadow moments' distance in
// red and its square in green; texels where nothing was drawn in dark blue.
#define MAPPING_COLOR 0
#define MAPPING_DEPTH 1
#define MAPPING_MOMENTS 2

layout(location = 0) in vec2 picturePosition;
layout(location = 0) out vec4 fragColor;

#if CUBE
layout(binding = 0) uniform samplerCube image;
#else
layout(binding = 0) uniform sampler2D image;
#endif
uniform int mapping;
// What the ends of the scale stand for: world units for depths and moments, linear light for
// colours.
uniform vec2 range;
// Depth: the near and far planes of the projection that wrote it. Moments: the distance that
// the stored values are divided by, in y.
uniform vec2 nearFar;

const vec3 kNothing = vec3(0.0, 0.0, 0.3);
const vec3 kEmptyCell = vec3(0.0);

#if CUBE
// The cube unfolded as seen from its centre: the middle row -X, -Z, +X, +Z from left to right,
// +Y above -Z and -Y below it; neighbouring cells meet where their faces meet.
bool crossDirection(vec2 p, out vec3 direction) {
    vec2 grid = p * vec2(4.0, 3.0);
    ivec2 cell = ivec2(min(floor(grid), vec2(3.0, 2.0)));
    vec2 s = fract(grid) * 2.0 - 1.0;
    vec3 forward;
    vec3 right = vec3(1.0, 0.0, 0.0);
    vec3 up = vec3(0.0, 1.0, 0.0);
    if (cell.y == 1) {
        if (cell.x == 0) {
            forward = vec3(-1.0, 0.0, 0.0);
            right = vec3(0.0, 0.0, -1.0);
        } else if (cell.x == 1) {
            forward = vec3(0.0, 0.0, -1.0);
        } else if (cell.x == 2) {
            forward = vec3(1.0, 0.0, 0.0);
            right = vec3(0.0, 0.0, 1.0);
        } else {
            forward = vec3(0.0, 0.0, 1.0);
            right = vec3(-1.0, 0.0, 0.0);
        }
    } else if (cell.x == 1) {
        forward = vec3(0.0, cell.y == 2 ? 1.0 : -1.0, 0.0);
        up = vec3(0.0, 0.0, cell.y == 2 ? 1.0 : -1.0);
    } else {
        return false;
    }
    direction = forward + s.x * right + s.y * up;
    return true;
}
#endif

vec3 mapped(vec4 texel) {
    float span = max(range.y - range.x, 1e-6);
    if (mapping == MAPPING_DEPTH) {
        float d = texel.r;
        if (d >= 1.0) return kNothing;
        float n = nearFar.x;
        float f = nearFar.y;
        float z = n * f / (f - d * (f - n));
        return vec3(1.0 - clamp((z - range.x) / span, 0.0, 1.0));
    }
    if (mapping == MAPPING_MOMENTS) {
        if (texel.r >= 1.0) return kNothing;
        float distance = texel.r * nearFar.y;
        float square = texel.g * nearFar.y * nearFar.y;
        float low2 = range.x * range.x;
        float high2 = range.y * range.y;
        return vec3(clamp((distance - range.x) / span, 0.0, 1.0),
                    clamp((square - low2) / max(high2 - low2, 1e-6), 0.0, 1.0), 0.0);
    }
    return pow(clamp((texel.rgb - range.x) / span, 0.0, 1.0), vec3(1.0 / 2.2));
}

void main() {
#if CUBE
    vec3 direction;
    if (!crossDirection(picturePosition, direction)) {
        fragColor = vec4(kEmptyCell, 1.0);
        return;
    }
    fragColor = vec4(mapped(textureLod(image, direction, 0.0)), 1.0);
#else
    fragColor = vec4(mapped(textureLod(image, picturePosition, 0.0)), 1.0);
#endif
}
)";

struct ViewProgram {
    GLuint program = 0;
    GLint mapping = -1;
    GLint range = -1;
    GLint nearFar = -1;
};

// Built at the first view drawn; they live to the end of the run, as the pipeline's do.
struct ViewPrograms {
    bool tried = false;
    bool built = false;
    ViewProgram cube;
    ViewProgram flat;
    GLuint nearestSampler = 0;  // depths and moments: texels as they are, never blended
    GLuint linearSampler = 0;   // colours
};
ViewPrograms viewPrograms;

GLuint compileStage(GLenum kind, const std::string& text, const char* what) {
    const GLuint shader = glCreateShader(kind);
    const char* source = text.c_str();
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint compiled = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
    if (compiled == GL_TRUE) return shader;
    GLint length = 0;
    glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
    std::vector<char> log(static_cast<std::size_t>(std::max(length, 1)), '\0');
    glGetShaderInfoLog(shader, length, nullptr, log.data());
    std::printf("The pass views' %s stage did not compile: %s\n", what, log.data());
    glDeleteShader(shader);
    return 0;
}

bool buildProgram(bool cube, ViewProgram& out) {
    const GLuint vertex = compileStage(GL_VERTEX_SHADER, kVertexText, "vertex");
    const GLuint fragment = compileStage(GL_FRAGMENT_SHADER, passViewFragmentText(cube),
                                         cube ? "cube fragment" : "fragment");
    if (vertex == 0 || fragment == 0) {
        if (vertex != 0) glDeleteShader(vertex);
        if (fragment != 0) glDeleteShader(fragment);
        return false;
    }
    const GLuint program = glCreateProgram();
    glAttachShader(program, vertex);
    glAttachShader(program, fragment);
    glLinkProgram(program);
    glDeleteShader(vertex);
    glDeleteShader(fragment);
    GLint linked = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    if (linked != GL_TRUE) {
        std::printf("The pass views' program did not link.\n");
        glDeleteProgram(program);
        return false;
    }
    out.program = program;
    out.mapping = glGetUniformLocation(program, "mapping");
    out.range = glGetUniformLocation(program, "range");
    out.nearFar = glGetUniformLocation(program, "nearFar");
    return true;
}

GLuint makeSampler(GLint filter) {
    GLuint sampler = 0;
    glGenSamplers(1, &sampler);
    glSamplerParameteri(sampler, GL_TEXTURE_MIN_FILTER, filter);
    glSamplerParameteri(sampler, GL_TEXTURE_MAG_FILTER, filter);
    glSamplerParameteri(sampler, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glSamplerParameteri(sampler, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glSamplerParameteri(sampler, GL_TEXTURE_WRAP_R, GL_CLAMP_TO_EDGE);
    // The depth cube compares in the scene pass's hard and filtered modes; the view reads its
    // values whatever the texture says.
    glSamplerParameteri(sampler, GL_TEXTURE_COMPARE_MODE, GL_NONE);
    return sampler;
}

bool ensureViewPrograms() {
    if (viewPrograms.tried) return viewPrograms.built;
    viewPrograms.tried = true;
    viewPrograms.built =
        buildProgram(true, viewPrograms.cube) && buildProgram(false, viewPrograms.flat);
    if (viewPrograms.built) {
        viewPrograms.nearestSampler = makeSampler(GL_NEAREST);
        viewPrograms.linearSampler = makeSampler(GL_LINEAR);
    }
    return viewPrograms.built;
}

GLenum bindingQuery(GLenum target) {
    return target == GL_TEXTURE_CUBE_MAP ? GL_TEXTURE_BINDING_CUBE_MAP : GL_TEXTURE_BINDING_2D;
}

// What a view changes, as it was before, and put back when the view is done: the frame that
// follows must not depend on whether a view was drawn.
class KeptState {
public:
    explicit KeptState(GLenum target) : target_(target) {
        glGetIntegerv(GL_CURRENT_PROGRAM, &program_);
        glGetIntegerv(GL_ACTIVE_TEXTURE, &activeTexture_);
        glActiveTexture(GL_TEXTURE0);
        glGetIntegerv(bindingQuery(target), &texture_);
        glGetIntegerv(GL_SAMPLER_BINDING, &sampler_);
        glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &drawFramebuffer_);
        glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &readFramebuffer_);
        glGetIntegerv(GL_VIEWPORT, viewport_);
        glGetFloatv(GL_COLOR_CLEAR_VALUE, clearColor_);
        glGetBooleanv(GL_DEPTH_WRITEMASK, &depthMask_);
        depthTest_ = glIsEnabled(GL_DEPTH_TEST);
        blend_ = glIsEnabled(GL_BLEND);
        cullFace_ = glIsEnabled(GL_CULL_FACE);
        scissorTest_ = glIsEnabled(GL_SCISSOR_TEST);
    }
    ~KeptState() {
        glUseProgram(static_cast<GLuint>(program_));
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(target_, static_cast<GLuint>(texture_));
        glBindSampler(0, static_cast<GLuint>(sampler_));
        glActiveTexture(static_cast<GLenum>(activeTexture_));
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(drawFramebuffer_));
        glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(readFramebuffer_));
        glViewport(viewport_[0], viewport_[1], viewport_[2], viewport_[3]);
        glClearColor(clearColor_[0], clearColor_[1], clearColor_[2], clearColor_[3]);
        glDepthMask(depthMask_);
        setEnabled(GL_DEPTH_TEST, depthTest_);
        setEnabled(GL_BLEND, blend_);
        setEnabled(GL_CULL_FACE, cullFace_);
        setEnabled(GL_SCISSOR_TEST, scissorTest_);
    }
    KeptState(const KeptState&) = delete;
    KeptState& operator=(const KeptState&) = delete;

private:
    static void setEnabled(GLenum capability, GLboolean enabled) {
        if (enabled == GL_TRUE) {
            glEnable(capability);
        } else {
            glDisable(capability);
        }
    }

    GLenum target_;
    GLint program_ = 0;
    GLint activeTexture_ = GL_TEXTURE0;
    GLint texture_ = 0;
    GLint sampler_ = 0;
    GLint drawFramebuffer_ = 0;
    GLint readFramebuffer_ = 0;
    GLint viewport_[4] = {0, 0, 0, 0};
    GLfloat clearColor_[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    GLboolean depthMask_ = GL_TRUE;
    GLboolean depthTest_ = GL_FALSE;
    GLboolean blend_ = GL_FALSE;
    GLboolean cullFace_ = GL_FALSE;
    GLboolean scissorTest_ = GL_FALSE;
};

// The first channel of every texel of level 0 (all six faces of a cube), as floats.
std::vector<float> readFirstChannel(const ViewSource& source) {
    const bool depth = source.mapping == Mapping::Depth;
    const GLenum format = depth ? GL_DEPTH_COMPONENT : GL_RED;
    const bool cube = source.target == GL_TEXTURE_CUBE_MAP;
    const int size = cube ? kCubeFaceSize : kSceneTargetSize;
    const std::size_t faceTexels = static_cast<std::size_t>(size) * static_cast<std::size_t>(size);
    const int faces = cube ? 6 : 1;
    std::vector<float> texels(faceTexels * static_cast<std::size_t>(faces));
    KeptState kept(source.target);
    glBindTexture(source.target, source.texture);
    for (int face = 0; face < faces; ++face) {
        const GLenum image =
            cube ? GL_TEXTURE_CUBE_MAP_POSITIVE_X + static_cast<GLenum>(face) : GL_TEXTURE_2D;
        glGetTexImage(image, 0, format, GL_FLOAT,
                      texels.data() + faceTexels * static_cast<std::size_t>(face));
    }
    return texels;
}

// From a stored depth (0 to 1) to the distance along the projection's axis.
float linearDepth(float depth, float nearPlane, float farPlane) {
    return nearPlane * farPlane / (farPlane - depth * (farPlane - nearPlane));
}

}  // namespace

const char* passViewName(PassView view) {
    switch (view) {
        case PassView::Picture:
            return "picture";
        case PassView::ShadowDepth:
            return "shadow-depth";
        case PassView::ShadowMoments:
            return "shadow-moments";
        case PassView::Reflection:
            return "reflection";
        case PassView::SceneColor:
            return "scene-color";
        case PassView::SceneDepth:
            return "scene-depth";
        case PassView::Count:
            break;
    }
    return "?";
}

const char* passViewTitle(PassView view) {
    switch (view) {
        case PassView::Picture:
            return "the finished picture";
        case PassView::ShadowDepth:
            return "the shadow cube's depth";
        case PassView::ShadowMoments:
            return "the shadow cube's moments";
        case PassView::Reflection:
            return "the reflection cube";
        case PassView::SceneColor:
            return "the scene's colour, before the post pass";
        case PassView::SceneDepth:
            return "the scene's depth";
        case PassView::Count:
            break;
    }
    return "?";
}

ViewRange viewRange(PassView view) {
    const ViewSource source = sourceOf(view);
    if (source.mapping == Mapping::Color || source.texture == 0) return {};
    // Texels at 1 hold nothing: the cleared depth, the cleared moments (1, 1).
    float lowest = 1.0f;
    float highest = 0.0f;
    for (float value : readFirstChannel(source)) {
        if (!(value < 1.0f)) continue;
        lowest = std::min(lowest, value);
        highest = std::max(highest, value);
    }
    if (lowest > highest) {
        // Nothing drawn at all: the whole span of the projection.
        lowest = 0.0f;
        highest = 1.0f;
    }
    if (source.mapping == Mapping::Moments) {
        return {lowest * source.farPlane, highest * source.farPlane};
    }
    return {linearDepth(lowest, source.nearPlane, source.farPlane),
            linearDepth(highest, source.nearPlane, source.farPlane)};
}

std::string describeViewRange(PassView view, ViewRange range) {
    char text[256];
    switch (view) {
        case PassView::Picture:
            return "as the post pass drew it";
        case PassView::ShadowDepth:
            std::snprintf(text, sizeof text,
                          "white %.3g to black %.3g units from the light along each face's "
                          "axis; blue: nothing drawn",
                          range.low, range.high);
            return text;
        case PassView::ShadowMoments:
            std::snprintf(text, sizeof text,
                          "red: distance from the light, %.3g to %.3g units; green: its square "
                          "over the same span; blue: nothing drawn",
                          range.low, range.high);
            return text;
        case PassView::Reflection:
        case PassView::SceneColor:
            std::snprintf(text, sizeof text,
                          "linear light %.3g to %.3g through a 2.2 gamma curve, brighter clipped",
                          range.low, range.high);
            return text;
        case PassView::SceneDepth:
            std::snprintf(text, sizeof text,
                          "white %.3g to black %.3g units from the camera along its view; "
                          "blue: nothing drawn (the sky)",
                          range.low, range.high);
            return text;
        case PassView::Count:
            break;
    }
    return "";
}

bool drawPassView(PassView view, ViewRange range) {
    const ViewSource source = sourceOf(view);
    if (source.texture == 0) return true;
    if (!ensureViewPrograms()) return false;
    const bool cube = source.target == GL_TEXTURE_CUBE_MAP;
    const ViewProgram& program = cube ? viewPrograms.cube : viewPrograms.flat;

    KeptState kept(source.target);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    glDisable(GL_BLEND);
    glDisable(GL_CULL_FACE);
    glDisable(GL_SCISSOR_TEST);
    // The picture's place as the post pass fills it; black bars around it.
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    const Viewport place = pictureViewport(readFramebufferSize());
    glViewport(place.x, place.y, place.width, place.height);

    glUseProgram(program.program);
    glUniform1i(program.mapping, static_cast<GLint>(source.mapping));
    glUniform2f(program.range, range.low, range.high);
    glUniform2f(program.nearFar, source.nearPlane, source.farPlane);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(source.target, source.texture);
    glBindSampler(0, source.mapping == Mapping::Color ? viewPrograms.linearSampler
                                                      : viewPrograms.nearestSampler);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    return true;
}

const char* passViewVertexText() { return kVertexText; }

std::string passViewFragmentText(bool cube) {
    return std::string("#version 450\n#define CUBE ") + (cube ? "1" : "0") + "\n" + kFragmentText;
}
