#include <gtest/gtest.h>

#include "assets/ShaderLoader.h"
#include "support/TestSupport.h"

namespace {

std::string sourceOf(const TempDir& dir, const std::string& fileText) {
    return readShaderSource(dir.write("stage.glsl", fileText).c_str());
}

}  // namespace

TEST(ShaderSource, EveryLineIsPrecededByANewlineAndNoneEndsTheText) {
    TempDir dir;
    EXPECT_EQ(sourceOf(dir, "a\nb\n"), "\na\nb");
    // A last line without its newline is still a line.
    EXPECT_EQ(sourceOf(dir, "a\nb"), "\na\nb");
    EXPECT_EQ(sourceOf(dir, "one line"), "\none line");
}

TEST(ShaderSource, EmptyLinesCount) {
    TempDir dir;
    EXPECT_EQ(sourceOf(dir, "a\n\nb\n"), "\na\n\nb");
    EXPECT_EQ(sourceOf(dir, "\n"), "\n");
    EXPECT_EQ(sourceOf(dir, "\n\n"), "\n\n");
    EXPECT_EQ(sourceOf(dir, "a\n\n"), "\na\n");
}

TEST(ShaderSource, CrLfFilesGiveTheSameText) {
    TempDir dir;
    EXPECT_EQ(sourceOf(dir, "a\r\nb\r\n"), "\na\nb");
    EXPECT_EQ(sourceOf(dir, "a\r\n\r\nb"), "\na\n\nb");
}

TEST(ShaderSource, AByteOrderMarkAtTheStartIsDroppedAndNowhereElse) {
    TempDir dir;
    const std::string mark = "\xEF\xBB\xBF";
    EXPECT_EQ(sourceOf(dir, mark + "#version 400\r\nvoid main() {}\r\n"),
              "\n#version 400\nvoid main() {}");
    EXPECT_EQ(sourceOf(dir, mark + "\nb"), "\n\nb");
    // Only the file's first bytes are a mark; the same bytes later are text.
    EXPECT_EQ(sourceOf(dir, "a\n" + mark + "b"), "\na\n" + mark + "b");
    EXPECT_EQ(sourceOf(dir, mark + mark + "a"), "\n" + mark + "a");
}

TEST(ShaderSource, EmptyMissingAndUnreadableFilesGiveNothing) {
    TempDir dir;
    EXPECT_EQ(sourceOf(dir, ""), "");
    EXPECT_EQ(readShaderSource((dir.path() / "missing.glsl").string().c_str()), "");
    EXPECT_EQ(readShaderSource(dir.path().string().c_str()), "");  // a folder
    EXPECT_EQ(readShaderSource(nullptr), "");
    // Nor is anything else that is not a regular file read: a pipe (which would hold start-up
    // for good, were there no writer as here) or a device.
    const PipeWithWriter pipe(dir, "pipe.glsl", "void main() {}\n");
    EXPECT_EQ(readShaderSource(pipe.path().c_str()), "");
    EXPECT_EQ(readShaderSource("/dev/null"), "");
}

TEST(ShaderSource, LongLinesAreKeptWhole) {
    TempDir dir;
    const std::string longLine(100000, 'x');
    EXPECT_EQ(sourceOf(dir, longLine + "\n" + longLine), "\n" + longLine + "\n" + longLine);
}
