// pelk-mutate3ds: damages 3DS files in many deterministic ways (truncation, chunk lengths,
// element counts, face indices, key-frame parents, random bytes) and imports each through the
// demo's own import path in a forked child. Prints how many files were accepted, rejected
// cleanly, left with broken arrays, hung or crashed, with one line per crash class and a
// reproducer for each.
//
//   pelk-mutate3ds [--per-file N] [--first-seed S] [--out DIR] FILE.3ds...
//
// Exit status: 0 when no import crashed in our code or left broken arrays, 1 otherwise (or when
// a reproducer cannot be written), 2 on a usage error. Crashes inside the importer are reported
// but do not fail the run.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tools/common/CommandLine.h"
#include "tools/common/Files.h"
#include "tools/mutate3ds/Mutate3ds.h"

namespace {

struct ClassTally {
    int count = 0;
    std::string firstInput;
    std::string reproducer;
    bool inImporter = false;
};

struct Options {
    long perFile = 500;
    long firstSeed = 0;
    std::string outDir = "mutate3ds-out";
    std::vector<std::string> inputs;
};

// Reads the command line: nothing when the tool goes on, else the exit status to end with.
std::optional<int> readCommandLine(int argc, char** argv, Options& options) {
    CommandLine commandLine("pelk-mutate3ds",
                            "Damages 3DS files in many deterministic ways and imports each "
                            "through the demo's own import path in a child process.");
    CLI::App& app = commandLine.app();
    app.add_option("--per-file", options.perFile, "mutations of each file (default 500)")
        ->type_name("N")
        ->transform(wholeNumberFrom(0, 100'000'000, "a whole number from 0 to 100000000"));
    app.add_option("--first-seed", options.firstSeed, "the first mutation's seed (default 0)")
        ->type_name("S")
        ->transform(wholeNumberFrom(0, 1'000'000'000'000, "a whole number from 0 to 10^12"));
    app.add_option("--out", options.outDir, "where the reproducers go (default mutate3ds-out)")
        ->type_name("DIR")
        ->transform(notEmpty("a folder"));
    app.add_option("files", options.inputs, "the 3DS files to damage")
        ->type_name("FILE.3ds")
        ->required();
    app.footer(
        "Exit status: 0 no import crashed in our code or left broken arrays, 1 otherwise "
        "or a reproducer could not be written, 2 bad options or an unreadable file.");
    return commandLine.parse(argc, argv);
}

}  // namespace

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    Options options;
    if (const std::optional<int> end = readCommandLine(argc, argv, options)) return *end;
    const long perFile = options.perFile;
    const long firstSeed = options.firstSeed;
    const std::string& outDir = options.outDir;
    const std::vector<std::string>& inputs = options.inputs;
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
            if (!mutate3ds::writeFile(scratch, m.bytes)) {
                std::fprintf(stderr, "pelk-mutate3ds: could not write %s\n", scratch.c_str());
                return 1;
            }
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
                std::string why;
                if (!writeBytesWhole(tally.reproducer, std::string(m.bytes.begin(), m.bytes.end()),
                                     why)) {
                    std::fprintf(stderr, "pelk-mutate3ds: could not write %s: %s\n",
                                 tally.reproducer.c_str(), why.c_str());
                    return 1;
                }
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
