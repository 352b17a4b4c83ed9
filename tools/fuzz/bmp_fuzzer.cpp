// libFuzzer entry point for the BMP parser and the sky cross cutter: any byte string is a file.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "assets/Bmp.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const BmpResult<BmpImage> parsed = parseBmp(std::span<const std::uint8_t>(data, size), "fuzz");
    if (!parsed.value) {
        // Every refusal says why.
        if (parsed.message.empty()) std::abort();
        return 0;
    }
    const BmpImage& image = *parsed.value;
    // A decoded picture is always exactly its rows, whatever the file claimed.
    if (image.width <= 0 || image.height <= 0 || image.pixels.size() != image.stride * image.height ||
        image.stride < 3 * static_cast<std::size_t>(image.width)) {
        std::abort();
    }
    const BmpResult<int> face = skyFaceSize(image.width, image.height, "fuzz");
    if (face.value) {
        const auto faces = cutSkyFaces(image, *face.value);
        const std::size_t faceBytes = 3 * static_cast<std::size_t>(*face.value) * *face.value;
        for (const auto& f : faces) {
            if (f.size() != faceBytes) std::abort();
        }
    }
    return 0;
}
