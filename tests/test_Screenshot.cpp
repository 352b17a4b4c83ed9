#include <gtest/gtest.h>
#include <stb_image.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "app/Screenshot.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

// A small picture whose rows differ, bottom row first as GL reads it.
std::vector<unsigned char> rows(int width, int height) {
    std::vector<unsigned char> pixels;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            pixels.push_back(static_cast<unsigned char>(10 * y));
            pixels.push_back(static_cast<unsigned char>(20 * x));
            pixels.push_back(200);
        }
    }
    return pixels;
}

std::set<std::string> namesIn(const fs::path& dir) {
    std::set<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

std::string contentOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace

TEST(Screenshot, NamesCountUpWithFourDigits) {
    EXPECT_EQ(screenshotName(1), "pelk-0001.png");
    EXPECT_EQ(screenshotName(42), "pelk-0042.png");
    EXPECT_EQ(screenshotName(kMaxScreenshotNumber), "pelk-9999.png");
}

TEST(Screenshot, SavesThePictureTopRowFirstUnderTheFirstFreeNumber) {
    TempDir dir;
    const std::vector<unsigned char> picture = rows(3, 4);
    std::string why;
    const std::string path = saveNumberedPng(dir.path().string(), picture, 3, 4, why);
    EXPECT_EQ(path, (dir.path() / "pelk-0001.png").string()) << why;

    int width = 0;
    int height = 0;
    int channels = 0;
    unsigned char* saved = stbi_load(path.c_str(), &width, &height, &channels, 3);
    ASSERT_NE(saved, nullptr);
    EXPECT_EQ(width, 3);
    EXPECT_EQ(height, 4);
    // The file's first row is the picture's top row (GL's last).
    EXPECT_EQ(saved[0], 30);
    EXPECT_EQ(saved[3 * 3 * 3], 0);
    EXPECT_EQ(saved[3 + 1], 20);
    stbi_image_free(saved);
    // Nothing else is left in the folder: no temporary.
    EXPECT_EQ(namesIn(dir.path()), std::set<std::string>{"pelk-0001.png"});
}

TEST(Screenshot, NeverReplacesAFileAndTakesTheNextFreeNumber) {
    TempDir dir;
    dir.write("pelk-0001.png", std::string("someone's own"));
    dir.write("pelk-0003.png", std::string("another"));
    // A link whose target is missing still takes its name.
    fs::create_symlink(dir.path() / "nowhere.png", dir.path() / "pelk-0002.png");
    std::string why;
    const std::vector<unsigned char> picture = rows(2, 2);
    EXPECT_EQ(saveNumberedPng(dir.path().string(), picture, 2, 2, why),
              (dir.path() / "pelk-0004.png").string());
    EXPECT_EQ(saveNumberedPng(dir.path().string(), picture, 2, 2, why),
              (dir.path() / "pelk-0005.png").string());
    EXPECT_EQ(contentOf(dir.path() / "pelk-0001.png"), "someone's own");
    EXPECT_EQ(contentOf(dir.path() / "pelk-0003.png"), "another");
    EXPECT_FALSE(fs::exists(dir.path() / "nowhere.png"));
    EXPECT_EQ(namesIn(dir.path()),
              (std::set<std::string>{"pelk-0001.png", "pelk-0002.png", "pelk-0003.png",
                                     "pelk-0004.png", "pelk-0005.png"}));
}

TEST(Screenshot, AFolderThatCannotBeWrittenOrNoPictureIsSaidAndLeavesNothing) {
    TempDir dir;
    std::string why;
    const std::vector<unsigned char> picture = rows(2, 2);
    const std::string missing = (dir.path() / "missing").string();
    EXPECT_EQ(saveNumberedPng(missing, picture, 2, 2, why), "");
    EXPECT_EQ(why, "cannot write in " + missing + ": No such file or directory");

    why.clear();
    EXPECT_EQ(saveNumberedPng(dir.path().string(), picture, 3, 2, why), "");
    EXPECT_EQ(why, "there is no picture to save");
    EXPECT_EQ(saveNumberedPng(dir.path().string(), {}, 0, 0, why), "");
    EXPECT_TRUE(namesIn(dir.path()).empty());
}
