// libFuzzer entry point for model files: any byte string is written to a .3ds file and imported
// exactly as the demo imports a model (our checks of the file, then the import library, then
// our checks of what it returns). Standard output, where the import prints the model's path,
// goes to /dev/null.
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "assets/MeshImport.h"

namespace {

// One file per fuzzing process, rewritten for every input; in /dev/shm where there is one, so
// that the file system costs next to nothing.
std::string inputPath() {
    const char* folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return std::string(folder) + "/pelk-mesh-fuzz-" + std::to_string(getpid()) + ".3ds";
}

bool writeInput(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}

bool finite(const glm::vec3& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = inputPath();
    if (!writeInput(path, data, size)) std::abort();
    const Mesh object = importMesh(path);
    std::remove(path.c_str());

    // Whatever the file held, the mesh is empty or drawable: the per-vertex arrays in step,
    // whole triangles, every index inside the vertices, every position finite.
    const std::size_t n = object.vertices.size();
    if (object.uvs.size() != n || object.colors.size() != n || object.normals.size() != n ||
        object.indices.size() % 3 != 0) {
        std::abort();
    }
    for (const std::uint32_t index : object.indices) {
        if (index >= n) std::abort();
    }
    for (const glm::vec3& p : object.vertices) {
        if (!finite(p)) std::abort();
    }
    return 0;
}
