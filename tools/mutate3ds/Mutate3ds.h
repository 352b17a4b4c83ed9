#pragma once

// Deterministic damage to 3DS files, and an import of each damaged file in a forked child, so
// that a crash inside the importer is counted and classified instead of ending the run.
// Used by the pelk-mutate3ds tool and by the bounded test in tests/test_Mutate3ds.cpp.

#include <dlfcn.h>
#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "assets/MeshImport.h"

namespace mutate3ds {

using Bytes = std::vector<unsigned char>;

inline Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

inline std::uint32_t get16(const Bytes& b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8);
}
inline std::uint32_t get32(const Bytes& b, std::size_t at) {
    return get16(b, at) | (get16(b, at + 2) << 16);
}
inline void put16(Bytes& b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<unsigned char>(v & 0xFF);
    b[at + 1] = static_cast<unsigned char>((v >> 8) & 0xFF);
}
inline void put32(Bytes& b, std::size_t at, std::uint32_t v) {
    put16(b, at, v & 0xFFFF);
    put16(b, at + 2, v >> 16);
}

// One chunk header of the file, and where the element count of a list chunk sits (0 = none).
struct Chunk {
    std::size_t offset = 0;
    std::uint16_t id = 0;
    std::uint32_t length = 0;
    std::size_t countOffset = 0;
};

// The chunks that hold other chunks, and how many bytes of their own data come first.
inline bool isContainer(std::uint16_t id) {
    switch (id) {
        case 0x4D4D:  // main
        case 0x3D3D:  // editor
        case 0x4000:  // named object (a NUL-terminated name first)
        case 0x4100:  // triangle mesh
        case 0x4120:  // face list (count and faces first)
        case 0xAFFF:  // material
        case 0xA200:  // texture map
        case 0xB000:  // key frames
        case 0xB002:  // object node
            return true;
        default:
            return false;
    }
}

// Lists every chunk header of a well-formed file, depth first. Stops quietly where the
// structure does not hold, so it is safe on damaged input too.
inline void listChunks(const Bytes& b, std::size_t begin, std::size_t end, std::vector<Chunk>& out,
                       int depth = 0) {
    std::size_t at = begin;
    while (depth < 16 && at + 6 <= end) {
        Chunk c;
        c.offset = at;
        c.id = static_cast<std::uint16_t>(get16(b, at));
        c.length = get32(b, at + 2);
        if (c.length < 6 || c.length > end - at) return;
        const std::size_t chunkEnd = at + c.length;
        std::size_t body = at + 6;
        // Vertex, uv and face lists start with a 16-bit element count.
        if ((c.id == 0x4110 || c.id == 0x4140 || c.id == 0x4120) && body + 2 <= chunkEnd) {
            c.countOffset = body;
        }
        out.push_back(c);
        if (isContainer(c.id)) {
            if (c.id == 0x4000) {
                while (body < chunkEnd && b[body] != 0) ++body;
                ++body;
            } else if (c.id == 0x4120 && body + 2 <= chunkEnd) {
                body += 2 + 8 * static_cast<std::size_t>(get16(b, body));
            }
            if (body < chunkEnd) listChunks(b, body, chunkEnd, out, depth + 1);
        }
        at = chunkEnd;
    }
}

inline std::vector<Chunk> listChunks(const Bytes& b) {
    std::vector<Chunk> out;
    listChunks(b, 0, b.size(), out);
    return out;
}

// A small, fully specified generator, so a seed names the same mutation on every system.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
    std::uint32_t next() {
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        return static_cast<std::uint32_t>((state_ * 0x2545F4914F6CDD1Dull) >> 32);
    }
    std::size_t below(std::size_t n) { return n == 0 ? 0 : next() % n; }

private:
    std::uint64_t state_;
};

enum class Kind { Truncate, ChunkLength, Count, FaceIndex, Bytes, Hierarchy };
inline constexpr int kKindCount = 6;

inline const char* kindName(Kind k) {
    switch (k) {
        case Kind::Truncate:
            return "truncate";
        case Kind::ChunkLength:
            return "chunk-length";
        case Kind::Count:
            return "count";
        case Kind::FaceIndex:
            return "face-index";
        case Kind::Bytes:
            return "bytes";
        case Kind::Hierarchy:
            return "hierarchy";
    }
    return "?";
}

struct Mutation {
    Kind kind = Kind::Bytes;
    std::string what;
    Bytes bytes;
};

// Values that sit on the edges a parser gets wrong: zero, one, off by one, sign and size limits.
inline std::uint32_t edgeValue(Random& r, std::uint32_t original, std::uint32_t max) {
    const std::uint32_t choices[] = {0,   1,           original - 1,  original + 1, original * 2,
                                     max, max / 2 + 1, r.next() & max};
    return choices[r.below(std::size(choices))] & max;
}

// One mutation of a file: its kind cycles with the seed, its details come from it.
inline Mutation mutateOnce(const Bytes& original, std::uint64_t seed) {
    Random r(seed);
    Mutation m;
    m.kind = static_cast<Kind>(seed % kKindCount);
    m.bytes = original;
    const std::vector<Chunk> chunks = listChunks(original);
    std::vector<const Chunk*> counted;
    std::vector<const Chunk*> faceLists;
    // Key-frame node headers: a name, two flag words, then the parent's position in the tree.
    std::vector<std::size_t> parentWords;
    for (const Chunk& c : chunks) {
        if (c.countOffset != 0) counted.push_back(&c);
        if (c.id == 0xB010) {
            std::size_t at = c.offset + 6;
            while (at < c.offset + c.length && original[at] != 0) ++at;
            if (at + 7 <= c.offset + c.length) parentWords.push_back(at + 5);
        }
        if (c.id == 0x4120 && c.countOffset != 0 && get16(original, c.countOffset) > 0) {
            faceLists.push_back(&c);
        }
    }
    if ((m.kind == Kind::ChunkLength && chunks.empty()) ||
        (m.kind == Kind::Count && counted.empty()) ||
        (m.kind == Kind::FaceIndex && faceLists.empty()) ||
        (m.kind == Kind::Hierarchy && parentWords.empty())) {
        m.kind = Kind::Truncate;
    }
    char text[128];
    switch (m.kind) {
        case Kind::Truncate: {
            // Half the cuts land on a chunk boundary or just after a header.
            std::size_t cut = r.below(original.size());
            if (!chunks.empty() && r.below(2) == 0) {
                const Chunk& c = chunks[r.below(chunks.size())];
                cut = std::min(original.size(), c.offset + r.below(8));
            }
            m.bytes.resize(cut);
            std::snprintf(text, sizeof text, "cut at %zu of %zu", cut, original.size());
            break;
        }
        case Kind::ChunkLength: {
            const Chunk& c = chunks[r.below(chunks.size())];
            const std::uint32_t value = edgeValue(r, c.length, 0xFFFFFFFFu);
            put32(m.bytes, c.offset + 2, value);
            std::snprintf(text, sizeof text, "chunk 0x%04X at %zu: length %u -> %u", c.id, c.offset,
                          c.length, value);
            break;
        }
        case Kind::Count: {
            const Chunk& c = *counted[r.below(counted.size())];
            const std::uint32_t was = get16(original, c.countOffset);
            const std::uint32_t value = edgeValue(r, was, 0xFFFFu);
            put16(m.bytes, c.countOffset, value);
            std::snprintf(text, sizeof text, "chunk 0x%04X at %zu: count %u -> %u", c.id, c.offset,
                          was, value);
            break;
        }
        case Kind::FaceIndex: {
            const Chunk& c = *faceLists[r.below(faceLists.size())];
            const std::size_t faces = get16(original, c.countOffset);
            const std::size_t at = c.countOffset + 2 + 8 * r.below(faces) + 2 * r.below(4);
            if (at + 2 <= c.offset + c.length) {
                const std::uint32_t was = get16(original, at);
                const std::uint32_t value = edgeValue(r, was, 0xFFFFu);
                put16(m.bytes, at, value);
                std::snprintf(text, sizeof text, "face list at %zu: word at %zu %u -> %u", c.offset,
                              at, was, value);
            } else {
                std::snprintf(text, sizeof text, "face list at %zu: unchanged", c.offset);
            }
            break;
        }
        case Kind::Hierarchy: {
            const std::size_t at = parentWords[r.below(parentWords.size())];
            const std::uint32_t was = get16(original, at);
            const std::uint32_t value = edgeValue(r, was, 0xFFFFu);
            put16(m.bytes, at, value);
            std::snprintf(text, sizeof text, "node parent at %zu: %u -> %u", at, was, value);
            break;
        }
        case Kind::Bytes: {
            const std::size_t n = 1 + r.below(8);
            for (std::size_t i = 0; i < n && !m.bytes.empty(); ++i) {
                m.bytes[r.below(m.bytes.size())] = static_cast<unsigned char>(r.next());
            }
            std::snprintf(text, sizeof text, "%zu random bytes", n);
            break;
        }
    }
    m.what = text;
    return m;
}

// Mutation number `seed` of a file: one to three single mutations applied one after the other
// (the later ones see the chunk structure the earlier ones left), so damage combines.
inline Mutation mutate(const Bytes& original, std::uint64_t seed) {
    const std::uint64_t layers = 1 + (seed / kKindCount) % 3;
    Mutation m = mutateOnce(original, seed);
    for (std::uint64_t layer = 1; layer < layers; ++layer) {
        Mutation next = mutateOnce(m.bytes, seed * 7919 + layer);
        m.what += "; " + std::string(kindName(next.kind)) + ": " + next.what;
        m.bytes = std::move(next.bytes);
    }
    return m;
}

// How an import in the child ended.
enum class Outcome { Accepted, Rejected, Broken, Crashed, Hung };

inline const char* outcomeName(Outcome o) {
    switch (o) {
        case Outcome::Accepted:
            return "accepted";
        case Outcome::Rejected:
            return "rejected";
        case Outcome::Broken:
            return "broken";
        case Outcome::Crashed:
            return "crashed";
        case Outcome::Hung:
            return "hung";
    }
    return "?";
}

struct Result {
    Outcome outcome = Outcome::Rejected;
    // For a crash: the signal and the innermost frame outside the C and C++ runtimes, by symbol
    // where the library exports one, else by offset, e.g. "SEGV in importer libassimp.so.5
    // +0x24ef04" or "SEGV in our code pelk_unit_tests +0x1234".
    std::string crashClass;
    bool inImporter = false;
};

namespace detail {

inline int reportFd = -1;
// Exit codes of the child; 1 is left to the sanitizers, whose reports end a process with it.
inline constexpr int kExitRejected = 10;
inline constexpr int kExitBroken = 11;

inline bool inImporterLibrary(const char* file) {
    return file != nullptr && std::strstr(file, "libassimp") != nullptr;
}

inline bool inSystemLibrary(const char* file) {
    return file != nullptr &&
           (std::strstr(file, "libc.so") != nullptr || std::strstr(file, "libstdc++") != nullptr ||
            std::strstr(file, "libgcc_s") != nullptr || std::strstr(file, "libasan") != nullptr ||
            std::strstr(file, "libubsan") != nullptr);
}

inline const char* baseName(const char* file) {
    const char* slash = file != nullptr ? std::strrchr(file, '/') : nullptr;
    return slash != nullptr ? slash + 1 : (file != nullptr ? file : "?");
}

// Runs in the dying child: names the signal and the innermost frame of the interrupted code
// outside the C and C++ runtimes and the sanitizers (the one that called abort or memcpy, or
// faulted itself), writes it to the parent, and exits. The frames of the handler come first and
// end at the signal trampoline, the first frame in the C library.
inline void onCrash(int signal) {
    void* frames[64];
    const int n = backtrace(frames, 64);
    char line[512];
    const auto room = [&line](int used) { return sizeof line - static_cast<std::size_t>(used); };
    int used = std::snprintf(line, sizeof line, "%s in ", sigabbrev_np(signal));
    bool pastHandler = false;
    bool named = false;
    for (int i = 0; i < n && !named; ++i) {
        Dl_info info{};
        if (dladdr(frames[i], &info) == 0 || info.dli_fname == nullptr) continue;
        if (!pastHandler) {
            pastHandler = std::strstr(info.dli_fname, "libc.so") != nullptr;
            continue;
        }
        if (inSystemLibrary(info.dli_fname)) continue;
        used += std::snprintf(line + used, room(used), "%s %s ",
                              inImporterLibrary(info.dli_fname) ? "importer" : "our code",
                              baseName(info.dli_fname));
        if (info.dli_sname != nullptr) {
            used += std::snprintf(line + used, room(used), "%s", info.dli_sname);
        } else {
            const auto offset = static_cast<unsigned long>(static_cast<char*>(frames[i]) -
                                                           static_cast<char*>(info.dli_fbase));
            used += std::snprintf(line + used, room(used), "+0x%lx", offset);
        }
        named = true;
    }
    if (!named) std::snprintf(line + used, room(used), "unknown");
    if (reportFd >= 0) {
        const std::size_t length = std::strlen(line);
        if (write(reportFd, line, length) < 0) _exit(99);
    }
    _exit(128 + signal);
}

}  // namespace detail

// Imports `path` as the demo does (importMesh) in a forked child with its console output
// discarded, a time limit (a hang counts as such) and, where no address sanitizer needs the
// address space, a memory limit.
// `beforeImport` runs in the child just before the import (tests use it to check that a crash
// or a hang is caught and named).
inline Result importInChild(const std::string& path, unsigned timeoutSeconds = 20,
                            const std::function<void()>& beforeImport = {}) {
    int fds[2];
    Result result;
    if (pipe(fds) != 0) {
        result.outcome = Outcome::Broken;
        result.crashClass = "pipe failed";
        return result;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        detail::reportFd = fds[1];
        const int devNull = open("/dev/null", O_WRONLY);
        if (devNull >= 0) {
            dup2(devNull, STDOUT_FILENO);
            dup2(devNull, STDERR_FILENO);
        }
        void* warm[2];
        backtrace(warm, 2);  // loads the unwinder now, not inside the signal handler
        // The handler runs on a stack of its own, so that a stack overflow is named too.
        std::vector<char> handlerStack(256 * 1024);
        stack_t alternate{};
        alternate.ss_sp = handlerStack.data();
        alternate.ss_size = handlerStack.size();
        sigaltstack(&alternate, nullptr);
        struct sigaction action {};
        action.sa_handler = detail::onCrash;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND | SA_NODEFER | SA_ONSTACK;
        for (int s : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) sigaction(s, &action, nullptr);
#if !defined(__SANITIZE_ADDRESS__)
        rlimit memory{2048ul << 20, 2048ul << 20};
        setrlimit(RLIMIT_AS, &memory);
#endif
        alarm(timeoutSeconds);
        if (beforeImport) beforeImport();
        const Mesh object = importMesh(path);
        std::fflush(stdout);
        // Whatever the importer did, the arrays we hand on must be drawable as they are.
        const std::size_t n = object.vertices.size();
        bool sound = object.uvs.size() == n && object.colors.size() == n &&
                     object.normals.size() == n && object.indices.size() % 3 == 0;
        for (std::uint32_t index : object.indices) sound = sound && index < n;
        _exit(!sound ? detail::kExitBroken : (n == 0 ? detail::kExitRejected : 0));
    }
    close(fds[1]);
    int status = 0;
    std::string report;
    char buffer[256];
    ssize_t got = 0;
    while ((got = read(fds[0], buffer, sizeof buffer)) > 0) {
        report.append(buffer, static_cast<std::size_t>(got));
    }
    close(fds[0]);
    waitpid(child, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        result.outcome = Outcome::Accepted;
    } else if (WIFEXITED(status) && WEXITSTATUS(status) == detail::kExitRejected) {
        result.outcome = Outcome::Rejected;
    } else if (WIFEXITED(status) && WEXITSTATUS(status) == detail::kExitBroken) {
        result.outcome = Outcome::Broken;
        result.crashClass = "arrays not drawable";
    } else if (WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM) {
        result.outcome = Outcome::Hung;
        result.crashClass = "hang";
        result.inImporter = true;
    } else {
        result.outcome = Outcome::Crashed;
        result.crashClass = report.empty() ? "exit status " + std::to_string(status) : report;
        result.inImporter = report.find(" importer ") != std::string::npos;
    }
    return result;
}

}  // namespace mutate3ds
