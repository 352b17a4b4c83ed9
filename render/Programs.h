#pragma once

#include <GL/glew.h>

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

// The four programs of a frame, one per pass.
struct Programs {
    ShaderProgram shadowProgram;      // light's view into the shadow cubes
    ShaderProgram reflectionProgram;  // lit surroundings of the reflector into its cube
    ShaderProgram sceneProgram;       // the camera's view into the scene target
    ShaderProgram postProgram;        // scene target onto the window
};

extern Programs programs;

// Values that never change after start-up.
inline constexpr float kUniformNearPlane = 0.1f;
inline constexpr float kUniformFarPlane = 300.0f;
inline constexpr int kShadowKernelSize = 4;
inline constexpr float kShadowMipmapLevel = 0.5f;

// Start-up, right after the window: builds the four programs from the stage files in srcDir.
void createPrograms();
// Start-up, after the scene assembly: looks up every uniform location, program by program.
void lookUpUniforms();
// Start-up, after the targets: sets the uniforms that never change. Leaves sceneProgram in use.
void setConstantUniforms();
