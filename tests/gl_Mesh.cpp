#include <string>
#include <vector>

#include "core/Platform.h"
#include "scene/SceneObject.h"
#include "support/GlFixture.h"

namespace {

const char* const kVertexSource = R"(#version 410 core
layout(location = 0) in vec3 position;
void main() { gl_Position = vec4(position * 0.1, 1.0); })";

const char* const kControlSource = R"(#version 410 core
layout(vertices = 3) out;
void main() {
    gl_out[gl_InvocationID].gl_Position = gl_in[gl_InvocationID].gl_Position;
    gl_TessLevelOuter[0] = 1.0; gl_TessLevelOuter[1] = 1.0; gl_TessLevelOuter[2] = 1.0;
    gl_TessLevelInner[0] = 1.0;
})";

const char* const kEvaluationSource = R"(#version 410 core
layout(triangles) in;
void main() {
    gl_Position = gl_TessCoord.x * gl_in[0].gl_Position + gl_TessCoord.y * gl_in[1].gl_Position +
                  gl_TessCoord.z * gl_in[2].gl_Position;
})";

const char* const kFragmentSource = R"(#version 410 core
out vec4 color;
void main() { color = vec4(1.0); })";

GLuint compile(GLenum stage, const char* source) {
    const GLuint shader = glCreateShader(stage);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    EXPECT_TRUE(ok) << source;
    return shader;
}

// Reads every attribute and shows one channel of each: colour's red, uv's x, normal's z.
const char* const kRoutingVertexSource = R"(#version 410 core
layout(location = 0) in vec3 position;
layout(location = 1) in vec3 color;
layout(location = 2) in vec2 uv;
layout(location = 3) in vec3 normal;
out vec3 seen;
void main() { seen = vec3(color.r, uv.x, normal.z); gl_Position = vec4(position, 1.0); })";

const char* const kRoutingFragmentSource = R"(#version 410 core
in vec3 seen;
out vec4 color;
void main() { color = vec4(seen, 1.0); })";

// A program of the given stages; deleted with its shaders when the object goes.
class TestProgram {
public:
    explicit TestProgram(bool tessellated, const char* vertex = kVertexSource,
                         const char* fragment = kFragmentSource)
        : program_(glCreateProgram()) {
        std::vector<GLuint> shaders = {compile(GL_VERTEX_SHADER, vertex),
                                       compile(GL_FRAGMENT_SHADER, fragment)};
        if (tessellated) {
            shaders.push_back(compile(GL_TESS_CONTROL_SHADER, kControlSource));
            shaders.push_back(compile(GL_TESS_EVALUATION_SHADER, kEvaluationSource));
        }
        for (GLuint shader : shaders) glAttachShader(program_, shader);
        glLinkProgram(program_);
        GLint ok = 0;
        glGetProgramiv(program_, GL_LINK_STATUS, &ok);
        EXPECT_TRUE(ok);
        for (GLuint shader : shaders) glDeleteShader(shader);
        glUseProgram(program_);
    }
    ~TestProgram() {
        glUseProgram(0);
        glDeleteProgram(program_);
    }
    TestProgram(const TestProgram&) = delete;
    TestProgram& operator=(const TestProgram&) = delete;

private:
    GLuint program_;
};

// Primitives that reach the rasteriser while `body` runs.
template <typename F>
GLuint primitivesGenerated(F&& body) {
    GLuint query = 0;
    glGenQueries(1, &query);
    glBeginQuery(GL_PRIMITIVES_GENERATED, query);
    body();
    glEndQuery(GL_PRIMITIVES_GENERATED);
    GLuint count = 0;
    glGetQueryObjectuiv(query, GL_QUERY_RESULT, &count);
    glDeleteQueries(1, &query);
    return count;
}

// Twelve triangles: the 36 vertices of a light-cube-sized object.
SceneObject cubeSized() {
    std::vector<glm::vec3> vertices;
    for (int t = 0; t < 12; ++t) {
        const float z = static_cast<float>(t) * 0.1f;
        vertices.insert(vertices.end(), {{0, 0, z}, {1, 0, z}, {0, 1, z}});
    }
    return SceneObject(vertices, std::vector<glm::vec3>(36, glm::vec3(1.0f)));
}

GLint integer(GLenum name) {
    GLint value = -1;
    glGetIntegerv(name, &value);
    return value;
}

}  // namespace

TEST_F(GlTest, EachArrayReachesItsAttributeLocation) {
    // One triangle over the whole viewport; each array holds its own value everywhere.
    SceneObject object({{-1, -1, 0}, {3, -1, 0}, {-1, 3, 0}},
                       std::vector<glm::vec3>(3, glm::vec3(0.2f, 0.7f, 0.7f)));
    object.uvs.assign(3, glm::vec2(0.6f, 0.1f));
    object.normals.assign(3, glm::vec3(0.1f, 0.1f, 0.9f));
    object.createBuffers();
    TestProgram program(false, kRoutingVertexSource, kRoutingFragmentSource);
    glViewport(0, 0, 16, 16);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    object.bindAttributes(true);
    object.draw(false);
    unsigned char rgb[3] = {};
    glReadBuffer(GL_BACK);
    glReadPixels(8, 8, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    EXPECT_NEAR(rgb[0], 0.2 * 255, 2);
    EXPECT_NEAR(rgb[1], 0.6 * 255, 2);
    EXPECT_NEAR(rgb[2], 0.9 * 255, 2);
    for (GLuint location = 0; location < 4; ++location) glDisableVertexAttribArray(location);
}

TEST_F(GlTest, EmptyObjectDrawsNothing) {
    TestProgram program(false);
    SceneObject empty;
    empty.createBuffers();
    empty.bindAttributes(true);
    EXPECT_EQ(primitivesGenerated([&] { empty.draw(false); }), 0u);
    for (GLuint location = 0; location < 4; ++location) glDisableVertexAttribArray(location);
}

TEST_F(GlTest, InvisibleObjectIssuesNoDraw) {
    TestProgram program(false);
    SceneObject object = cubeSized();
    object.createBuffers();
    object.bindAttributes(false);
    EXPECT_EQ(primitivesGenerated([&] { object.draw(false); }), 12u);
    object.visible = false;
    EXPECT_EQ(primitivesGenerated([&] { object.draw(false); }), 0u);
    // The count is read at draw time, not fixed at upload.
    object.visible = true;
    object.indices.resize(6);
    EXPECT_EQ(primitivesGenerated([&] { object.draw(false); }), 2u);
    glDisableVertexAttribArray(0);
}

TEST_F(GlTest, PatchesOnlyWhenTheVersionStringStartsWithFour) {
    SceneObject object = cubeSized();
    object.createBuffers();
    object.bindAttributes(false);
    glPatchParameteri(GL_PATCH_VERTICES, 4);

    // A tessellation stage would make a plain triangle draw an error, so each case gets the
    // program that its primitive type needs.
    {
        platform().glVersion = [] { return "3.3 (faked)"; };
        TestProgram plain(false);
        EXPECT_EQ(primitivesGenerated([&] { object.draw(true); }), 12u);
        EXPECT_EQ(integer(GL_PATCH_VERTICES), 4);
    }
    {
        platform().glVersion = [] { return "4.5 (faked)"; };
        TestProgram tessellated(true);
        EXPECT_EQ(primitivesGenerated([&] { object.draw(true); }), 12u);
        EXPECT_EQ(integer(GL_PATCH_VERTICES), 3);
    }
    {
        TestProgram plain(false);
        EXPECT_EQ(primitivesGenerated([&] { object.draw(false); }), 12u);
    }
    glDisableVertexAttribArray(0);
}
