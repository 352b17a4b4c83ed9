#include <algorithm>
#include <string>
#include <vector>

#include "assets/ShaderLoader.h"
#include "core/Platform.h"
#include "support/GlFixture.h"
#include "support/TestSupport.h"

namespace {

const char* const kVertexSource =
    "#version 400\n"
    "layout(location = 0) in vec3 position;\n"
    "void main() { gl_Position = vec4(position, 1.0); }\n";
const char* const kTessControlSource =
    "#version 400\n"
    "layout(vertices = 3) out;\n"
    "void main() {\n"
    "    gl_out[gl_InvocationID].gl_Position = gl_in[gl_InvocationID].gl_Position;\n"
    "    gl_TessLevelOuter[0] = 1.0;\n"
    "    gl_TessLevelOuter[1] = 1.0;\n"
    "    gl_TessLevelOuter[2] = 1.0;\n"
    "    gl_TessLevelInner[0] = 1.0;\n"
    "}\n";
const char* const kTessEvaluationSource =
    "#version 400\n"
    "layout(triangles) in;\n"
    "void main() { gl_Position = gl_in[0].gl_Position; }\n";
const char* const kGeometrySource =
    "#version 400\n"
    "layout(triangles) in;\n"
    "layout(triangle_strip, max_vertices = 3) out;\n"
    "void main() {\n"
    "    for (int i = 0; i < 3; ++i) {\n"
    "        gl_Position = gl_in[i].gl_Position;\n"
    "        EmitVertex();\n"
    "    }\n"
    "    EndPrimitive();\n"
    "}\n";
const char* const kFragmentSource =
    "#version 400\n"
    "out vec4 color;\n"
    "void main() { color = vec4(1.0); }\n";

// The GL calls the loader makes on shader objects, in the order it makes them, recorded by
// swapping GLEW's entry points for the lifetime of the recorder.
struct ShaderCall {
    std::string what;  // "create", "compile", "attach", "delete"
    GLuint shader;
    GLenum type;  // for "create"; 0 otherwise

    bool operator==(const ShaderCall&) const = default;
};

std::vector<ShaderCall>* recordedCalls = nullptr;
PFNGLCREATESHADERPROC realCreateShader = nullptr;
PFNGLCOMPILESHADERPROC realCompileShader = nullptr;
PFNGLATTACHSHADERPROC realAttachShader = nullptr;
PFNGLDELETESHADERPROC realDeleteShader = nullptr;

GLuint GLAPIENTRY recordCreate(GLenum type) {
    const GLuint shader = realCreateShader(type);
    recordedCalls->push_back({"create", shader, type});
    return shader;
}
void GLAPIENTRY recordCompile(GLuint shader) {
    recordedCalls->push_back({"compile", shader, 0});
    realCompileShader(shader);
}
void GLAPIENTRY recordAttach(GLuint program, GLuint shader) {
    recordedCalls->push_back({"attach", shader, 0});
    realAttachShader(program, shader);
}
void GLAPIENTRY recordDelete(GLuint shader) {
    recordedCalls->push_back({"delete", shader, 0});
    realDeleteShader(shader);
}

class ShaderCallRecorder {
public:
    ShaderCallRecorder() {
        realCreateShader = __glewCreateShader;
        realCompileShader = __glewCompileShader;
        realAttachShader = __glewAttachShader;
        realDeleteShader = __glewDeleteShader;
        recordedCalls = &calls;
        __glewCreateShader = recordCreate;
        __glewCompileShader = recordCompile;
        __glewAttachShader = recordAttach;
        __glewDeleteShader = recordDelete;
    }
    ~ShaderCallRecorder() {
        __glewCreateShader = realCreateShader;
        __glewCompileShader = realCompileShader;
        __glewAttachShader = realAttachShader;
        __glewDeleteShader = realDeleteShader;
        recordedCalls = nullptr;
    }
    ShaderCallRecorder(const ShaderCallRecorder&) = delete;
    ShaderCallRecorder& operator=(const ShaderCallRecorder&) = delete;

    // The name created for a stage type, or 0 when none was.
    GLuint created(GLenum type) const {
        for (const ShaderCall& call : calls) {
            if (call.what == "create" && call.type == type) return call.shader;
        }
        return 0;
    }
    std::vector<GLuint> namesOf(const std::string& what) const {
        std::vector<GLuint> names;
        for (const ShaderCall& call : calls) {
            if (call.what == what) names.push_back(call.shader);
        }
        return names;
    }

    std::vector<ShaderCall> calls;
};

struct Attached {
    GLuint shader;
    GLenum type;
};

std::vector<Attached> attachedShaders(GLuint program) {
    GLint count = 0;
    glGetProgramiv(program, GL_ATTACHED_SHADERS, &count);
    std::vector<GLuint> names(static_cast<std::size_t>(count));
    GLsizei written = 0;
    glGetAttachedShaders(program, count, &written, names.data());
    std::vector<Attached> result;
    for (GLsizei i = 0; i < written; ++i) {
        GLint type = 0;
        glGetShaderiv(names[static_cast<std::size_t>(i)], GL_SHADER_TYPE, &type);
        result.push_back({names[static_cast<std::size_t>(i)], static_cast<GLenum>(type)});
    }
    return result;
}

std::vector<GLenum> attachedTypes(GLuint program) {
    std::vector<GLenum> types;
    for (const Attached& shader : attachedShaders(program)) types.push_back(shader.type);
    return types;
}

bool linked(GLuint program) {
    GLint status = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &status);
    return status == GL_TRUE;
}

class ShaderLoaderTest : public GlTest {
protected:
    void SetUp() override {
        GlTest::SetUp();
        vertex = dir.write("a.vertexshader", kVertexSource);
        tessControl = dir.write("a.tesControlShader", kTessControlSource);
        tessEvaluation = dir.write("a.tesEvaluationShader", kTessEvaluationSource);
        geometry = dir.write("a.geometryshader", kGeometrySource);
        fragment = dir.write("a.fragmentshader", kFragmentSource);
    }
    void TearDown() override {
        for (GLuint program : programs) glDeleteProgram(program);
        GlTest::TearDown();
    }

    // Calls the loader with its console captured; null stays null.
    GLuint load(const char* v, const char* tc, const char* te, const char* g, const char* f,
                std::string* console = nullptr) {
        GLuint program = 0;
        const std::string out =
            captureStdout([&] { program = loadShaderProgram(v, tc, te, g, f); });
        if (console != nullptr) *console = out;
        programs.push_back(program);
        return program;
    }
    // Mesa also sends compile errors to the debug output; accept those and nothing else.
    void allowCompilerMessagesOnly() {
        expectGlErrors();
        for (const std::string& message : glErrors()) {
            EXPECT_EQ(message.rfind("0:", 0), 0u) << "GL error: " << message;
        }
    }
    void fakeGlVersion(const char* version) {
        platform().glVersion = [version] { return version; };
    }

    TempDir dir;
    std::string vertex, tessControl, tessEvaluation, geometry, fragment;
    std::vector<GLuint> programs;
};

}  // namespace

TEST_F(ShaderLoaderTest, VertexAndFragmentPrintCompilingLinesLinkingAndAnEmptyLinkLog) {
    std::string console;
    const GLuint program =
        load(vertex.c_str(), nullptr, nullptr, nullptr, fragment.c_str(), &console);
    ASSERT_NE(program, 0u);
    EXPECT_TRUE(linked(program));
    // Clean compiles have empty logs (no line at all); the empty link log still gets its line.
    EXPECT_EQ(console, "Compiling shader : " + vertex + "\nCompiling shader : " + fragment +
                           "\nLinking program\n\n");
    EXPECT_EQ(attachedTypes(program), (std::vector<GLenum>{GL_VERTEX_SHADER, GL_FRAGMENT_SHADER}));
}

TEST_F(ShaderLoaderTest, CompileErrorIsReportedOneLineLowerAndLinkLogFollows) {
    const std::string broken =
        dir.write("broken.vertexshader", "this is not glsl;\nvoid main() {}\n");
    std::string console;
    const GLuint program =
        load(broken.c_str(), nullptr, nullptr, nullptr, fragment.c_str(), &console);
    ASSERT_NE(program, 0u);
    EXPECT_FALSE(linked(program));

    const std::string compilingVertex = "Compiling shader : " + broken + "\n";
    const std::string compilingFragment = "Compiling shader : " + fragment + "\n";
    ASSERT_EQ(console.rfind(compilingVertex, 0), 0u) << console;
    // The file's first line is the source's second: the text starts with a newline.
    EXPECT_EQ(console.compare(compilingVertex.size(), 4, "0:2("), 0) << console;
    const std::size_t fragmentAt = console.find(compilingFragment);
    ASSERT_NE(fragmentAt, std::string::npos) << console;
    // The vertex log sits between the two compiling lines and ends with the loader's newline.
    const std::string vertexLog =
        console.substr(compilingVertex.size(), fragmentAt - compilingVertex.size());
    EXPECT_NE(vertexLog.find("error"), std::string::npos) << vertexLog;
    EXPECT_EQ(vertexLog.back(), '\n');
    // The clean fragment stage prints nothing of its own; the failed link has a non-empty log.
    const std::string linking = compilingFragment + "Linking program\n";
    EXPECT_EQ(console.compare(fragmentAt, linking.size(), linking), 0) << console;
    const std::string linkLog = console.substr(fragmentAt + linking.size());
    EXPECT_GT(linkLog.size(), 1u) << console;
    EXPECT_EQ(linkLog.back(), '\n');
    // Whatever the compiler said, both stages are attached.
    EXPECT_EQ(attachedShaders(program).size(), 2u);
    allowCompilerMessagesOnly();
}

TEST_F(ShaderLoaderTest, MissingFileIsStillCompiledAndAttached) {
    const std::string missing = (dir.path() / "missing.vertexshader").string();
    std::string console;
    const GLuint program =
        load(missing.c_str(), nullptr, nullptr, nullptr, fragment.c_str(), &console);
    ASSERT_NE(program, 0u);
    // No message of its own: the compiling line, then the compiler's log for the empty source.
    const std::string compilingMissing = "Compiling shader : " + missing + "\n";
    ASSERT_EQ(console.rfind(compilingMissing, 0), 0u) << console;
    const std::size_t fragmentAt = console.find("Compiling shader : " + fragment + "\n");
    ASSERT_NE(fragmentAt, std::string::npos) << console;
    EXPECT_EQ(console.compare(compilingMissing.size(), 14, "0:1(1): error:"), 0)
        << "no compiler log for the empty source:\n"
        << console;
    EXPECT_EQ(console.find("missing", compilingMissing.size()), std::string::npos)
        << "the loader reported the missing file itself:\n"
        << console;
    EXPECT_EQ(attachedTypes(program), (std::vector<GLenum>{GL_VERTEX_SHADER, GL_FRAGMENT_SHADER}));

    // A stage that is not a regular file (a pipe that would hold start-up for good, here one
    // whose writer would hand over a good stage) counts as missing, to the byte.
    const PipeWithWriter pipe(dir, "pipe.vertexshader", kVertexSource);
    std::string pipeConsole;
    const GLuint pipeProgram =
        load(pipe.path().c_str(), nullptr, nullptr, nullptr, fragment.c_str(), &pipeConsole);
    ASSERT_NE(pipeProgram, 0u);
    std::string expected = console;
    expected.replace(0, compilingMissing.size(), "Compiling shader : " + pipe.path() + "\n");
    EXPECT_EQ(pipeConsole, expected);
    allowCompilerMessagesOnly();
}

TEST_F(ShaderLoaderTest, AllFiveStagesAtVersionFour) {
    fakeGlVersion("4.5 (Compatibility Profile) Mesa");
    ShaderCallRecorder recorder;
    std::string console;
    const GLuint program = load(vertex.c_str(), tessControl.c_str(), tessEvaluation.c_str(),
                                geometry.c_str(), fragment.c_str(), &console);
    ASSERT_NE(program, 0u);
    EXPECT_TRUE(linked(program));
    EXPECT_EQ(console, "Compiling shader : " + vertex + "\nCompiling shader : " + tessControl +
                           "\nCompiling shader : " + tessEvaluation + "\nCompiling shader : " +
                           geometry + "\nCompiling shader : " + fragment + "\nLinking program\n\n");

    // Every object first, then each stage compiled and attached in stage order, the two
    // tessellation stages both compiled before either is attached, then every object deleted.
    const GLuint v = recorder.created(GL_VERTEX_SHADER);
    const GLuint tc = recorder.created(GL_TESS_CONTROL_SHADER);
    const GLuint te = recorder.created(GL_TESS_EVALUATION_SHADER);
    const GLuint g = recorder.created(GL_GEOMETRY_SHADER);
    const GLuint f = recorder.created(GL_FRAGMENT_SHADER);
    const std::vector<ShaderCall> expected = {
        {"create", v, GL_VERTEX_SHADER},
        {"create", tc, GL_TESS_CONTROL_SHADER},
        {"create", te, GL_TESS_EVALUATION_SHADER},
        {"create", g, GL_GEOMETRY_SHADER},
        {"create", f, GL_FRAGMENT_SHADER},
        {"compile", v, 0},
        {"attach", v, 0},
        {"compile", tc, 0},
        {"compile", te, 0},
        {"attach", tc, 0},
        {"attach", te, 0},
        {"compile", g, 0},
        {"attach", g, 0},
        {"compile", f, 0},
        {"attach", f, 0},
        {"delete", v, 0},
        {"delete", tc, 0},
        {"delete", te, 0},
        {"delete", g, 0},
        {"delete", f, 0},
    };
    EXPECT_EQ(recorder.calls, expected);

    // Attached objects live on inside the program, flagged for deletion.
    const std::vector<Attached> attached = attachedShaders(program);
    ASSERT_EQ(attached.size(), 5u);
    for (const Attached& shader : attached) {
        GLint deleteStatus = GL_FALSE;
        glGetShaderiv(shader.shader, GL_DELETE_STATUS, &deleteStatus);
        EXPECT_EQ(deleteStatus, GL_TRUE) << "shader " << shader.shader;
    }
    EXPECT_EQ(
        attachedTypes(program),
        (std::vector<GLenum>{GL_VERTEX_SHADER, GL_TESS_CONTROL_SHADER, GL_TESS_EVALUATION_SHADER,
                             GL_GEOMETRY_SHADER, GL_FRAGMENT_SHADER}));
}

TEST_F(ShaderLoaderTest, TessellationPairIsLeftOutBelowVersionFour) {
    fakeGlVersion("3.3 Mesa");
    ShaderCallRecorder recorder;
    std::string console;
    const GLuint program = load(vertex.c_str(), tessControl.c_str(), tessEvaluation.c_str(),
                                nullptr, fragment.c_str(), &console);
    EXPECT_TRUE(linked(program));
    EXPECT_EQ(console, "Compiling shader : " + vertex + "\nCompiling shader : " + fragment +
                           "\nLinking program\n\n");
    EXPECT_EQ(attachedTypes(program), (std::vector<GLenum>{GL_VERTEX_SHADER, GL_FRAGMENT_SHADER}));
    // No tessellation object is created, so none is deleted either.
    EXPECT_EQ(recorder.created(GL_TESS_CONTROL_SHADER), 0u);
    EXPECT_EQ(recorder.created(GL_TESS_EVALUATION_SHADER), 0u);
    EXPECT_EQ(recorder.namesOf("create").size(), 3u);
    EXPECT_EQ(recorder.namesOf("delete"), recorder.namesOf("create"));
}

TEST_F(ShaderLoaderTest, OneTessellationPathAloneIsIgnored) {
    for (const char* version : {"3.3 Mesa", "4.5 (Compatibility Profile) Mesa"}) {
        SCOPED_TRACE(version);
        fakeGlVersion(version);
        for (bool controlOnly : {true, false}) {
            std::string console;
            const GLuint program = load(vertex.c_str(), controlOnly ? tessControl.c_str() : nullptr,
                                        controlOnly ? nullptr : tessEvaluation.c_str(),
                                        geometry.c_str(), fragment.c_str(), &console);
            EXPECT_TRUE(linked(program));
            EXPECT_EQ(console, "Compiling shader : " + vertex + "\nCompiling shader : " + geometry +
                                   "\nCompiling shader : " + fragment + "\nLinking program\n\n");
            EXPECT_EQ(
                attachedTypes(program),
                (std::vector<GLenum>{GL_VERTEX_SHADER, GL_GEOMETRY_SHADER, GL_FRAGMENT_SHADER}));
        }
    }
}

TEST_F(ShaderLoaderTest, NoShaderObjectOfAnAbsentStageRemains) {
    for (const char* version : {"3.3 Mesa", "4.5 (Compatibility Profile) Mesa"}) {
        SCOPED_TRACE(version);
        fakeGlVersion(version);
        ShaderCallRecorder recorder;
        const GLuint program = load(vertex.c_str(), nullptr, nullptr, nullptr, fragment.c_str());
        // Each object created is deleted once; those never attached are gone at once, the
        // attached ones wait for their program.
        std::vector<GLuint> created = recorder.namesOf("create");
        EXPECT_EQ(created.size(), version[0] == '4' ? 5u : 3u);
        EXPECT_EQ(recorder.namesOf("delete"), created);
        const std::vector<GLuint> attached = recorder.namesOf("attach");
        for (GLuint shader : created) {
            const bool isAttached =
                std::find(attached.begin(), attached.end(), shader) != attached.end();
            EXPECT_EQ(glIsShader(shader) == GL_TRUE, isAttached) << "shader " << shader;
        }
        // Once the program goes, so do its stages.
        glDeleteProgram(program);
        programs.pop_back();
        for (GLuint shader : attached) EXPECT_FALSE(glIsShader(shader)) << "shader " << shader;
    }
}
