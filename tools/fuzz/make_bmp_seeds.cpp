// Writes the fuzzer's seed corpus: the kinds of files the loader tests craft (valid, padded,
// top-down, short, odd offsets, sky crosses, bad headers), built with the tests' BMP builder.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "support/BmpBytes.h"

namespace {

void writeSeed(const std::string& folder, const std::string& name, const BmpBytes& bmp) {
    const std::vector<unsigned char> bytes = bmp.build();
    std::ofstream out(folder + "/" + name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_bmp_seeds FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    BmpBytes plain;
    plain.width = 4;
    plain.height = 3;
    writeSeed(folder, "plain-4x3.bmp", plain);

    BmpBytes padded;
    padded.width = 5;
    padded.height = 2;
    writeSeed(folder, "padded-5x2.bmp", padded);

    BmpBytes topDown = padded;
    topDown.topDown = true;
    writeSeed(folder, "top-down.bmp", topDown);

    BmpBytes sized = plain;
    sized.imageSizeField = 36;
    writeSeed(folder, "image-size-field.bmp", sized);

    BmpBytes offset = plain;
    offset.pixelOffset = 138;
    writeSeed(folder, "offset-138.bmp", offset);

    BmpBytes shortFile = padded;
    shortFile.dropTail = 7;
    writeSeed(folder, "short.bmp", shortFile);

    BmpBytes sky;
    sky.width = 16;
    sky.height = 12;
    writeSeed(folder, "sky-16x12.bmp", sky);

    BmpBytes skyOdd;
    skyOdd.width = 12;
    skyOdd.height = 9;
    writeSeed(folder, "sky-12x9.bmp", skyOdd);

    BmpBytes bits32 = plain;
    bits32.bitsPerPixel = 32;
    writeSeed(folder, "bits-32.bmp", bits32);

    BmpBytes rle = plain;
    rle.compression = 1;
    writeSeed(folder, "compressed.bmp", rle);
    return 0;
}
