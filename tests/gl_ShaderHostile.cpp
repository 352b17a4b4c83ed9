// Stage files that a user replaced with something that is not a shader: the loader prints its
// compiling lines, the compiler's logs and the link line, hands back a program name, and leaves
// no GL error behind. The compiler's own debug messages about the failed compile are allowed.

#include <GL/glew.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "assets/ShaderLoader.h"
#include "support/GlFixture.h"
#include "support/TestSupport.h"

namespace {

const char* const kVertexSource =
    "#version 330\n"
    "layout(location = 0) in vec3 position;\n"
    "void main() { gl_Position = vec4(position, 1.0); }\n";
const char* const kFragmentSource =
    "#version 330\n"
    "out vec4 color;\n"
    "void main() { color = vec4(1.0); }\n";

struct LoadResult {
    GLuint program = 0;
    std::string console;
    GLint linked = GL_FALSE;
};

class ShaderHostile : public GlTest {
protected:
    // Builds a program from a vertex and a fragment file and checks what every load must give,
    // whatever the files hold.
    LoadResult load(const std::string& vertexPath, const std::string& fragmentPath) {
        expectGlErrors();  // the compiler reports failed compiles through the debug output
        LoadResult result;
        result.console = captureStdout([&] {
            result.program = loadShaderProgram(vertexPath.c_str(), nullptr, nullptr, nullptr,
                                               fragmentPath.c_str());
        });
        EXPECT_NE(result.program, 0u);
        EXPECT_EQ(result.console.rfind("Compiling shader : " + vertexPath + "\n", 0), 0u)
            << result.console.substr(0, 200);
        EXPECT_NE(result.console.find("\nCompiling shader : " + fragmentPath + "\n"),
                  std::string::npos);
        EXPECT_NE(result.console.find("Linking program\n"), std::string::npos);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        glGetProgramiv(result.program, GL_LINK_STATUS, &result.linked);
        glDeleteProgram(result.program);
        return result;
    }

    TempDir dir_;
};

TEST_F(ShaderHostile, EmptyBinaryAndFolderStagesAreReportedAndTheLoaderRunsOn) {
    const std::string fragment = dir_.write("good.frag", std::string(kFragmentSource));
    std::vector<unsigned char> binary(64 * 1024);
    std::uint32_t x = 12345;
    for (unsigned char& b : binary) {
        x = x * 1664525u + 1013904223u;
        b = static_cast<unsigned char>(x >> 24);
    }
    const std::string folder = (dir_.path() / "a-folder.vert").string();
    std::filesystem::create_directory(folder);
    for (const std::string& vertex :
         {dir_.write("empty.vert", std::string()), dir_.write("binary.vert", binary), folder,
          (dir_.path() / "missing.vert").string()}) {
        const LoadResult r = load(vertex, fragment);
        EXPECT_EQ(r.linked, GL_FALSE) << vertex;
    }
}

TEST_F(ShaderHostile, NulBytesCutTheSourceWhereTheCompilerStops) {
    const std::string fragment = dir_.write("good.frag", std::string(kFragmentSource));
    // A NUL right after the version line: the compiler sees a shader without main.
    std::string cut = kVertexSource;
    cut.insert(cut.find('\n') + 1, std::string(1, '\0'));
    LoadResult r = load(dir_.write("nul.vert", cut), fragment);
    EXPECT_EQ(r.linked, GL_FALSE);
    // A NUL after the whole shader changes nothing: the rest is never seen.
    r = load(dir_.write("tail.vert", std::string(kVertexSource) + std::string(1, '\0') + "junk"),
             fragment);
    EXPECT_EQ(r.linked, GL_TRUE) << r.console;
}

TEST_F(ShaderHostile, UnterminatedCommentsConditionalsAndLastLines) {
    const std::string fragment = dir_.write("good.frag", std::string(kFragmentSource));
    const std::string source = kVertexSource;
    for (const std::string& text :
         {source + "/* never closed", source + "#if 1\n", source.substr(0, source.size() - 3)}) {
        const LoadResult r = load(dir_.write("open.vert", text), fragment);
        EXPECT_EQ(r.linked, GL_FALSE) << text;
        EXPECT_GT(r.console.size(), 60u);  // the compile log is printed
    }
    // A valid last line without its newline is still a line.
    const LoadResult r =
        load(dir_.write("noeol.vert", source.substr(0, source.size() - 1)), fragment);
    EXPECT_EQ(r.linked, GL_TRUE) << r.console;
}

TEST_F(ShaderHostile, TenMegabyteStagesAreReadWhole) {
    const std::string fragment = dir_.write("good.frag", std::string(kFragmentSource));
    constexpr std::size_t kTenMegabytes = 10u * 1024u * 1024u;
    // A valid shader followed by 10 MB of comment lines still compiles and links.
    std::string padded = kVertexSource;
    const std::string comment = "// padding line of a very long stage file\n";
    while (padded.size() < kTenMegabytes) padded += comment;
    LoadResult r = load(dir_.write("padded.vert", padded), fragment);
    EXPECT_EQ(r.linked, GL_TRUE);
    // One 10 MB line of garbage: an error, with a log of sane size.
    r = load(dir_.write("oneline.vert", std::string(kTenMegabytes, 'x')), fragment);
    EXPECT_EQ(r.linked, GL_FALSE);
    EXPECT_LT(r.console.size(), kTenMegabytes);
}

}  // namespace
