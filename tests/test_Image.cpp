#include <gtest/gtest.h>

#include "support/TestSupport.h"
#include "tools/imgdiff/Image.h"

namespace {

Image filled(int w, int h, unsigned char r, unsigned char g, unsigned char b) {
    Image image(w, h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            image.at(x, y)[0] = r;
            image.at(x, y)[1] = g;
            image.at(x, y)[2] = b;
        }
    }
    return image;
}

}  // namespace

TEST(ImageCompare, CountsOnlyPixelsBeyondTheThresholdAndAveragesEachChannel) {
    const Image reference = filled(4, 2, 100, 100, 100);
    Image candidate = reference;
    candidate.at(0, 0)[2] = 116;  // off by exactly the threshold: not counted
    candidate.at(3, 1)[2] = 83;   // off by one more, downwards: counted
    const std::optional<DiffStats> stats = comparePictures(reference, candidate, 16);
    ASSERT_TRUE(stats.has_value());
    EXPECT_DOUBLE_EQ(stats->shareOver, 1.0 / 8.0);
    EXPECT_EQ(stats->maxDiff, 17);
    EXPECT_DOUBLE_EQ(stats->meanAbs[0], 0.0);
    EXPECT_DOUBLE_EQ(stats->meanAbs[1], 0.0);
    EXPECT_DOUBLE_EQ(stats->meanAbs[2], 33.0 / 8.0);
    EXPECT_DOUBLE_EQ(stats->worstMean(), 33.0 / 8.0);

    const std::optional<DiffStats> same = comparePictures(reference, reference, 0);
    ASSERT_TRUE(same.has_value());
    EXPECT_EQ(same->shareOver, 0.0);
    EXPECT_EQ(same->maxDiff, 0);
}

TEST(ImageCompare, RefusesPicturesOfDifferentSizes) {
    // A transposed or cropped capture must never pass as a match of all zeros.
    EXPECT_FALSE(comparePictures(Image(4, 2), Image(2, 4), 0).has_value());
    EXPECT_FALSE(comparePictures(Image(4, 2), Image(4, 3), 0).has_value());
    EXPECT_EQ(differencePicture(Image(4, 2), Image(4, 3), 0).rgb,
              std::vector<unsigned char>(4 * 2 * 3, 0));
}

TEST(ImageCompare, DifferencePictureMarksPixelsBeyondTheThreshold) {
    const Image reference = filled(2, 1, 0, 0, 0);
    Image candidate = reference;
    candidate.at(0, 0)[1] = 10;  // within: amplified red
    candidate.at(1, 0)[0] = 11;  // beyond: magenta
    const Image diff = differencePicture(reference, candidate, 10);
    EXPECT_EQ(diff.at(0, 0)[0], 80);
    EXPECT_EQ(diff.at(0, 0)[1], 0);
    EXPECT_EQ(diff.at(1, 0)[0], 255);
    EXPECT_EQ(diff.at(1, 0)[1], 0);
    EXPECT_EQ(diff.at(1, 0)[2], 255);
}

TEST(ImageReduce, AveragesBlocksRoundedAndDropsTheRemainder) {
    Image image(5, 3);  // one column and one row beyond the last whole 2 x 2 block
    image.at(0, 0)[0] = 1;
    image.at(1, 0)[0] = 2;
    image.at(0, 1)[0] = 2;
    image.at(1, 1)[0] = 2;  // mean 1.75 rounds to 2
    image.at(4, 2)[0] = 255;
    const Image reduced = boxReduced(image, 2);
    ASSERT_EQ(reduced.width, 2);
    ASSERT_EQ(reduced.height, 1);
    EXPECT_EQ(reduced.at(0, 0)[0], 2);
    EXPECT_EQ(reduced.at(1, 0)[0], 0);
    EXPECT_EQ(boxReduced(image, 1).rgb, image.rgb);
}

TEST(ImageText, StaysInsideThePictureWhateverTheTextAndPlace) {
    Image image = filled(40, 20, 0, 0, 0);
    const std::vector<unsigned char> before = image.rgb;
    // Characters outside the font, and places partly or wholly outside the picture.
    drawText(image, -10, -5, "\x01\x7f\xff 53 s", 2, {255, 255, 255});
    drawText(image, 35, 15, "60 s", 3, {255, 255, 255});
    drawText(image, 500, 500, "far", 1, {255, 255, 255});
    EXPECT_NE(image.rgb, before);
    EXPECT_EQ(image.rgb.size(), before.size());
    // A caption's size grows with its scale.
    const auto one = textSize("10 s", 1);
    const auto two = textSize("10 s", 2);
    EXPECT_GT(one[0], 0);
    EXPECT_EQ(two[0], 2 * one[0]);
    EXPECT_EQ(two[1], 2 * one[1]);
}

TEST(ImageFiles, RoundTripsThroughPngAndRejectsWhatIsNotOne) {
    TempDir dir;
    Image image = filled(3, 2, 10, 20, 30);
    image.at(2, 1)[0] = 250;
    const std::string path = (dir.path() / "p.png").string();
    std::string why;
    ASSERT_TRUE(savePicture(path, image, why)) << why;
    const std::optional<Image> back = loadPicture(path);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->width, 3);
    EXPECT_EQ(back->height, 2);
    EXPECT_EQ(back->rgb, image.rgb);  // top row first on both sides

    EXPECT_FALSE(loadPicture(dir.write("bad.png", std::string("not a picture"))).has_value());
    EXPECT_FALSE(loadPicture((dir.path() / "missing.png").string()).has_value());
    EXPECT_FALSE(savePicture((dir.path() / "no" / "such" / "dir.png").string(), image, why));
    EXPECT_NE(why.find("No such file or directory"), std::string::npos) << why;
}
