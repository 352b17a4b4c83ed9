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

// A program of the given stages; deleted with its shaders when the object goes.
class TestProgram {
public:
    explicit TestProgram(bool tessellated) : program_(glCreateProgram()) {
        std::vector<GLuint> shaders = {compile(GL_VERTEX_SHADER, kVertexSource),
                                       compile(GL_FRAGMENT_SHADER, kFragmentSource)};
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

GLint bufferSize(GLenum target, GLuint buffer) {
    glBindBuffer(target, buffer);
    GLint size = -1;
    glGetBufferParameteriv(target, GL_BUFFER_SIZE, &size);
    return size;
}

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

TEST_F(GlTest, CreateBuffersSizesEachBufferFromItsOwnArray) {
    SceneObject object = cubeSized();
    object.uvs.resize(36);
    object.normals.resize(30);  // lengths are not compared with each other
    object.createBuffers();
    EXPECT_EQ(bufferSize(GL_ARRAY_BUFFER, object.vertexBuffer), 432);
    EXPECT_EQ(bufferSize(GL_ARRAY_BUFFER, object.uvBuffer), 288);
    EXPECT_EQ(bufferSize(GL_ARRAY_BUFFER, object.colorBuffer), 432);
    EXPECT_EQ(bufferSize(GL_ARRAY_BUFFER, object.normalBuffer), 360);
    EXPECT_EQ(bufferSize(GL_ELEMENT_ARRAY_BUFFER, object.elementBuffer), 144);

    // Five distinct names, shared with any copy.
    const std::vector<std::uint32_t> names = {object.vertexBuffer, object.uvBuffer,
                                              object.colorBuffer, object.normalBuffer,
                                              object.elementBuffer};
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_NE(names[i], 0u);
        for (std::size_t j = i + 1; j < names.size(); ++j) EXPECT_NE(names[i], names[j]);
    }
}

TEST_F(GlTest, EmptyObjectHasFiveEmptyBuffersAndDrawsNothing) {
    TestProgram program(false);
    SceneObject empty;
    empty.createBuffers();
    for (GLuint buffer :
         {empty.vertexBuffer, empty.uvBuffer, empty.colorBuffer, empty.normalBuffer}) {
        EXPECT_NE(buffer, 0u);
        EXPECT_EQ(bufferSize(GL_ARRAY_BUFFER, buffer), 0);
    }
    EXPECT_EQ(bufferSize(GL_ELEMENT_ARRAY_BUFFER, empty.elementBuffer), 0);
    empty.bindAttributes(true);
    EXPECT_EQ(primitivesGenerated([&] { empty.draw(false); }), 0u);
}

TEST_F(GlTest, BindAttributesPointsTheLocationsAtTheObjectsBuffers) {
    SceneObject first = cubeSized();
    first.createBuffers();
    SceneObject second = cubeSized();
    second.createBuffers();
    const auto attributeBuffer = [](GLuint location) {
        GLint buffer = -1;
        glGetVertexAttribiv(location, GL_VERTEX_ATTRIB_ARRAY_BUFFER_BINDING, &buffer);
        return static_cast<GLuint>(buffer);
    };
    first.bindAttributes(true);
    EXPECT_EQ(attributeBuffer(0), first.vertexBuffer);
    EXPECT_EQ(attributeBuffer(1), first.colorBuffer);
    EXPECT_EQ(attributeBuffer(2), first.uvBuffer);
    EXPECT_EQ(attributeBuffer(3), first.normalBuffer);
    GLint size = 0;
    glGetVertexAttribiv(2, GL_VERTEX_ATTRIB_ARRAY_SIZE, &size);
    EXPECT_EQ(size, 2);

    // Positions only: the other locations keep pointing at the earlier object.
    second.bindAttributes(false);
    EXPECT_EQ(attributeBuffer(0), second.vertexBuffer);
    EXPECT_EQ(static_cast<GLuint>(integer(GL_ELEMENT_ARRAY_BUFFER_BINDING)), second.elementBuffer);
    EXPECT_EQ(attributeBuffer(3), first.normalBuffer);
    GLint enabled = 0;
    glGetVertexAttribiv(3, GL_VERTEX_ATTRIB_ARRAY_ENABLED, &enabled);
    EXPECT_EQ(enabled, GL_TRUE);
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
