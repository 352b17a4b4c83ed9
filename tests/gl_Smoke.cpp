#include "support/GlFixture.h"

TEST_F(GlTest, ContextIsAtLeastOpenGl45) {
    GLint major = 0;
    GLint minor = 0;
    glGetIntegerv(GL_MAJOR_VERSION, &major);
    glGetIntegerv(GL_MINOR_VERSION, &minor);
    EXPECT_GE(major * 10 + minor, 45);
}
