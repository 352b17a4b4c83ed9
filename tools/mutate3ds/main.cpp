// pelk-mutate3ds: damages 3DS files in many deterministic ways (truncation, chunk lengths,
// element counts, face indices, key-frame parents, random bytes) and imports each through the
// demo's own import path in a forked child. Prints how many files were accepted, rejected
// cleanly, left with broken arrays, hung or crashed, with one line per crash class and a
// reproducer for each.
//
//   pelk-mutate3ds [--per-file N] [--first-seed S] [--out DIR] FILE.3ds...
//
// Exit status: 0 when no import crashed in our code or left broken arrays, 1 otherwise, 2 on a
// usage error. Crashes inside the importer are reported but do not fail the run.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tools/mutate3ds/Mutate3ds.h"

namespace {

struct ClassTally {
    int count = 0;
    std::string firstInput;
    std::string reproducer;
    bool inImporter = false;
};

void usage() {
    std::fprintf(stderr,
                 "usage: pelk-mutate3ds [--per-file N] [--first-seed S] [--out DIR] FILE.3ds...\n");
}

}  // namespace

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    long perFile = 500;
    long firstSeed = 0;
    std::string outDir = "mutate3ds-out";
    std::vector<std::string> inputs;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--per-file" || arg == "--first-seed" || arg == "--out") && i + 1 < argc) {
            const std::string value = argv[++i];
            if (arg == "--out") {
                outDir = value;
            } else {
                char* end = nullptr;
                const long number = std::strtol(value.c_str(), &end, 10);
                if (end == value.c_str() || *end != '\0' || number < 0) {
                    usage();
                    return 2;
                }
                (arg == "--per-file" ? perFile : firstSeed) = number;
            }
        } else if (!arg.empty() && arg[0] == '-') {
            usage();
            return 2;
        } else {
            inputs.push_back(arg);
        }
    }
    if (inputs.empty()) {
        usage();
        return 2;
    }
    std::error_code error;
    fs::create_directories(outDir, error);
    const std::string scratch = (fs::path(outDir) / "current.3ds").string();

    std::map<mutate3ds::Outcome, int> outcomes;
    std::map<std::string, ClassTally> classes;
    std::map<mutate3ds::Kind, std::map<mutate3ds::Outcome, int>> byKind;
    int files = 0;
    for (const std::string& input : inputs) {
        const mutate3ds::Bytes original = mutate3ds::readFile(input);
        if (original.empty()) {
            std::fprintf(stderr, "pelk-mutate3ds: cannot read %s\n", input.c_str());
            return 2;
        }
        for (long seed = firstSeed; seed < firstSeed + perFile; ++seed) {
            const mutate3ds::Mutation m =
                mutate3ds::mutate(original, static_cast<std::uint64_t>(seed));
            mutate3ds::writeFile(scratch, m.bytes);
            const mutate3ds::Result r = mutate3ds::importInChild(scratch);
            ++files;
            ++outcomes[r.outcome];
            ++byKind[m.kind][r.outcome];
            if (r.outcome == mutate3ds::Outcome::Accepted ||
                r.outcome == mutate3ds::Outcome::Rejected) {
                continue;
            }
            ClassTally& tally = classes[r.crashClass];
            if (tally.count++ == 0) {
                tally.inImporter = r.inImporter;
                tally.firstInput = input + " seed " + std::to_string(seed) + " (" +
                                   mutate3ds::kindName(m.kind) + ": " + m.what + ")";
                tally.reproducer =
                    (fs::path(outDir) / ("crash-" + std::to_string(classes.size()) + ".3ds"))
                        .string();
                mutate3ds::writeFile(tally.reproducer, m.bytes);
            }
        }
    }
    fs::remove(scratch, error);

    std::printf("%d mutated files from %zu originals\n", files, inputs.size());
    for (const auto& [outcome, count] : outcomes) {
        std::printf("  %-9s %d\n", mutate3ds::outcomeName(outcome), count);
    }
    for (const auto& [kind, counts] : byKind) {
        std::printf("  first mutation %-12s", mutate3ds::kindName(kind));
        for (const auto& [outcome, count] : counts) {
            std::printf(" %s %d", mutate3ds::outcomeName(outcome), count);
        }
        std::printf("\n");
    }
    bool ours = false;
    for (const auto& [name, tally] : classes) {
        std::printf("%s: %d time(s), %s\n  first: %s\n  reproducer: %s\n", name.c_str(),
                    tally.count, tally.inImporter ? "inside the importer" : "IN OUR CODE",
                    tally.firstInput.c_str(), tally.reproducer.c_str());
        ours = ours || !tally.inImporter;
    }
    return ours ? 1 : 0;
}
