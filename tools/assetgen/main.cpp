// pelk-assetgen OUTPUT_DIR: writes the scene's meshes (OUTPUT_DIR/models/*.3ds) and pictures
// (OUTPUT_DIR/textures/*.bmp). The output is the same, byte for byte, on every run.
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <system_error>
#include <vector>

#include "AssetGen.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: pelk-assetgen OUTPUT_DIR\n");
        return 2;
    }
    const std::string root = argv[1];
    const std::string models = root + "/models", textures = root + "/textures";
    std::error_code error;
    std::filesystem::create_directories(models, error);
    std::filesystem::create_directories(textures, error);

    struct ModelFile {
        const char* name;
        std::function<Model()> build;
        const char* texture;
    };
    const std::vector<ModelFile> modelFiles{
        {"sphere.3ds", buildSphere, ""},
        {"barrel.3ds", buildBarrel, "barrel.bmp"},
        {"J.3ds", [] { return buildLetter('J'); }, "J_texture.bmp"},
        {"O.3ds", [] { return buildLetter('O'); }, "O_texture.bmp"},
        {"T.3ds", [] { return buildLetter('T'); }, "T_texture.bmp"},
        {"Z.3ds", [] { return buildLetter('Z'); }, "Z_texture.bmp"},
        {"streetlamp.3ds", buildStreetlamp, "streetlamp_texture.bmp"},
        {"plane.3ds", buildPlane, ""},
    };
    struct PictureFile {
        const char* name;
        std::function<Picture()> make;
    };
    const std::vector<PictureFile> pictureFiles{
        {"barrel.bmp", makeBarrelTexture},
        {"J_texture.bmp", [] { return makeLetterTexture('J'); }},
        {"O_texture.bmp", [] { return makeLetterTexture('O'); }},
        {"T_texture.bmp", [] { return makeLetterTexture('T'); }},
        {"Z_texture.bmp", [] { return makeLetterTexture('Z'); }},
        {"streetlamp_texture.bmp", makeStreetlampTexture},
        {"ground17.bmp", makeGroundTexture},
        {"water.bmp", makeWaterTexture},
        {"skybox.bmp", makeSkyboxTexture},
    };

    int failures = 0;
    for (const ModelFile& file : modelFiles) {
        const std::string path = models + "/" + file.name;
        if (!writeModel(file.build(), path, file.texture)) {
            std::fprintf(stderr, "pelk-assetgen: could not write %s\n", path.c_str());
            ++failures;
        }
    }
    for (const PictureFile& file : pictureFiles) {
        const std::string path = textures + "/" + file.name;
        if (!writeBmp(file.make(), path)) {
            std::fprintf(stderr, "pelk-assetgen: could not write %s\n", path.c_str());
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
