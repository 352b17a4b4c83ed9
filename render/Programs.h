#pragma once

#include <GL/glew.h>

#include <array>
#include <glm/glm.hpp>
#include <string>
#include <vector>

struct SceneObject;

// One linked GPU program and the locations of the uniforms that its passes set. A location the
// program does not have stays -1, which GL accepts and ignores.
struct ShaderProgram {
    GLuint program = 0;
    GLint lightSourcePosition = -1;        // "light_source_position"
    GLint nearFarPlane = -1;               // "near_far_plane"
    GLint cubeFaceMatrices = -1;           // "cm_mat"
    GLint modelMatrix = -1;                // "ModelMatrix"
    GLint cameraPosWorld = -1;             // "camera_pos_world"
    GLint transToRef = -1;                 // "trans_to_ref"
    GLint viewMatrix = -1;                 // "ViewMatrix"
    GLint useTexture = -1;                 // "useTexture"
    GLint elapsedTime = -1;                // "elapsedTime"
    GLint reflection = -1;                 // "reflection"
    GLint texSize = -1;                    // "tex_size"
    GLint mvp = -1;                        // "MVP"
    GLint projMat = -1;                    // "proj_mat"
    GLint tessellation = -1;               // "tessellation"
    GLint tessOuter = -1;                  // "tessellationControlParameters_outer"
    GLint tessInner = -1;                  // "tessellationControlParameters_inner"
    GLint kernelSize = -1;                 // "kernelsize"
    GLint mipmapLevel = -1;                // "mipmap_level"
    GLint varShadow = -1;                  // "varShadow"
    GLint viewProj = -1;                   // "ViewProj"
    GLint invViewProj = -1;                // "invViewProj"
    GLint oldViewProj = -1;                // "oldViewProj"
    GLint numSamples = -1;                 // "numSamples"
    GLint lightSourcePosScreenSpace = -1;  // "light_source_pos_ScreenSpace"
    GLint flareRadius = -1;                // "flare_radius"
    GLint dTime = -1;                      // "dTime"
};

// A specialised build of a pass's stage files: the same files with a few lines of #defines
// inserted after their #version line, so that a draw runs only the code that its kind of
// surface (or the frame's shadow mode, or the camera's motion) needs. A software rasteriser
// runs every branch of a fragment stage for a block of pixels as soon as one pixel takes it,
// so a general program costs the sum of all its paths.
struct ShaderVariant {
    std::string defines;    // the inserted lines
    ShaderProgram program;  // a copy of the general program when the variant did not build
};

// The four programs of a frame, one per pass, and the variants of three of them.
struct Programs {
    ShaderProgram shadowProgram;      // light's view into the shadow cubes
    ShaderProgram reflectionProgram;  // lit surroundings of the reflector into its cube
    ShaderProgram sceneProgram;       // the camera's view into the scene target
    ShaderProgram postProgram;        // scene target onto the window
    std::vector<ShaderVariant> reflectionVariants;  // one per reflectionVariantIndex
    std::vector<ShaderVariant> sceneVariants;       // one per sceneVariantIndex
    std::vector<ShaderVariant> postVariants;        // one per postVariantIndex
};

extern Programs programs;

// Values that never change after start-up.
inline constexpr float kUniformNearPlane = 0.1f;
inline constexpr float kUniformFarPlane = 300.0f;
inline constexpr int kShadowKernelSize = 4;
inline constexpr float kShadowMipmapLevel = 0.5f;

// How the scene and reflection stage files shade a surface. The general programs tell the kinds
// apart per draw by the rules of objectSurface; a variant is built for each kind.
enum class Surface { Sky, LightCube, Matte, Mirror, Water };
inline constexpr int kShadowModeCount = 3;  // 0 hard, 1 variance (soft), 2 filtered

// The kind of an object drawn with the light at `light`: stretched more than 15 times (the sky
// walls), placed at the light (its cube), tessellated (the water), reflecting (the sphere), or
// matte.
Surface objectSurface(const SceneObject& object, glm::vec3 light);

// Where a variant sits in its list. The reflection pass has no mirrors or water: those are lit
// like any other surface there. The sky, matte and water builds take their colour from a
// picture and the mirror's from its vertices, as the scene's objects do; an object that differs
// (a picture that failed to load, say) has no variant, and neither has a shadow mode outside 0
// to 2 (-1: use the general program).
int sceneVariantIndex(Surface surface, int shadowMode, bool textured);
int reflectionVariantIndex(Surface surface, bool textured);
int postVariantIndex(bool motionBlur, bool flare);

// The program that draws a surface (the general one where no variant serves).
const ShaderProgram& sceneProgramFor(Surface surface, int shadowMode, bool textured);
const ShaderProgram& reflectionProgramFor(Surface surface, bool textured);
const ShaderProgram& postProgramFor(bool motionBlur, bool flare);

// A pass's general program followed by its variants, for the uploads that all of them need.
std::vector<const ShaderProgram*> passPrograms(const ShaderProgram& general,
                                               const std::vector<ShaderVariant>& variants);

// Start-up, right after the window: builds the four programs from the stage files in srcDir,
// then, printing nothing, the variants (a variant that fails is reported once, with its
// defines, and its draws fall back to the general program).
void createPrograms();
// Start-up, after the scene assembly: looks up every uniform location, program by program, the
// variants after the four.
void lookUpUniforms();
// Start-up, after the targets: sets the uniforms that never change, in the variants too. Leaves
// sceneProgram in use.
void setConstantUniforms();
