// pelk-imgdiff: compares a rendered picture with a reference picture, within a tolerance.
//
//   pelk-imgdiff REFERENCE CANDIDATE [--threshold T] [--max-mean M] [--max-share PERCENT]
//                [--diff FILE]
//
// A candidate that is an exact multiple of the reference's size (a full-size capture against
// a reduced reference) is box-reduced to the reference's size first. The pictures match when
// the mean absolute difference of every channel is at most M (0 to 255) and at most PERCENT
// per cent of the pixels have a channel off by more than T. --diff writes a difference
// picture (see differencePicture) whatever the outcome.
// Exit code: 0 match, 1 no match, 2 bad options, a picture that is unreadable, sizes that do
// not fit, or a picture that cannot be written.
//
//   pelk-imgdiff --reduce FACTOR PICTURE OUT
//
// writes PICTURE box-reduced by FACTOR (each FACTOR x FACTOR block becomes its mean), the way a
// reference picture is stored.

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "tools/common/CommandLine.h"
#include "tools/imgdiff/Image.h"

namespace {

constexpr int kExitNoMatch = 1;
constexpr int kExitCannot = 2;
constexpr int kLargestReduction = 16;

struct Options {
    std::vector<std::string> pictures;  // REFERENCE CANDIDATE, or with --reduce PICTURE OUT
    std::optional<int> reduce;
    std::string diffPath;
    int threshold = 8;
    double maxMean = 0.5;
    double maxSharePercent = 0.05;
};

// Reads the command line: nothing when the tool goes on, else the exit status to end with.
std::optional<int> readCommandLine(int argc, char** argv, Options& options) {
    CommandLine commandLine("pelk-imgdiff",
                            "Compares a rendered picture with a reference picture within a "
                            "tolerance (REFERENCE CANDIDATE), or box-reduces a picture as the "
                            "reference pictures are stored (--reduce FACTOR PICTURE OUT).");
    CLI::App& app = commandLine.app();
    app.add_option("pictures", options.pictures, "REFERENCE CANDIDATE, or PICTURE OUT")
        ->type_name("PICTURE");
    CLI::Option* reduce =
        app.add_option("--reduce", options.reduce, "write PICTURE box-reduced by FACTOR to OUT")
            ->type_name("FACTOR")
            ->transform(wholeNumberFrom(1, kLargestReduction, "a whole number from 1 to 16"));
    const auto comparing = [&](CLI::Option* option) { option->excludes(reduce); };
    comparing(app.add_option("--threshold", options.threshold,
                             "a pixel is off when a channel differs by more than T (default 8)")
                  ->type_name("T")
                  ->transform(wholeNumberFrom(0, 255, "a whole number from 0 to 255")));
    comparing(app.add_option("--max-mean", options.maxMean,
                             "the largest mean difference of a channel (default 0.5)")
                  ->type_name("M")
                  ->transform(numberFrom(0.0, 255.0, "a number from 0 to 255")));
    comparing(app.add_option("--max-share", options.maxSharePercent,
                             "the largest share of pixels off, in per cent (default 0.05)")
                  ->type_name("PERCENT")
                  ->transform(numberFrom(0.0, 100.0, "a number from 0 to 100")));
    comparing(app.add_option("--diff", options.diffPath, "write a difference picture to FILE")
                  ->type_name("FILE")
                  ->transform(notEmpty("a file")));
    app.footer(
        "Exit status: 0 match, 1 no match, 2 bad options, a picture that cannot be read or "
        "written, or sizes that do not fit.");
    if (const std::optional<int> end = commandLine.parse(argc, argv)) return end;
    if (options.pictures.size() != 2) {
        return commandLine.refuse("wants two pictures, got " +
                                  std::to_string(options.pictures.size()));
    }
    return std::nullopt;
}

int reduce(int factor, const std::string& in, const std::string& out) {
    const std::optional<Image> picture = loadPicture(in);
    if (!picture || picture->width % factor != 0 || picture->height % factor != 0) {
        std::fprintf(stderr, "pelk-imgdiff: cannot reduce %s by %d\n", in.c_str(), factor);
        return kExitCannot;
    }
    std::string why;
    if (!savePicture(out, boxReduced(*picture, factor), why)) {
        std::fprintf(stderr, "pelk-imgdiff: cannot write %s: %s\n", out.c_str(), why.c_str());
        return kExitCannot;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (const std::optional<int> end = readCommandLine(argc, argv, options)) return *end;
    if (options.reduce) return reduce(*options.reduce, options.pictures[0], options.pictures[1]);
    const std::string& referencePath = options.pictures[0];
    const std::string& candidatePath = options.pictures[1];
    const std::optional<Image> reference = loadPicture(referencePath);
    std::optional<Image> candidate = loadPicture(candidatePath);
    if (!reference || !candidate) {
        std::fprintf(stderr, "pelk-imgdiff: cannot read %s\n",
                     (!reference ? referencePath : candidatePath).c_str());
        return kExitCannot;
    }
    const int factor = reference->width > 0 ? candidate->width / reference->width : 0;
    if (factor > 1 && candidate->width == reference->width * factor &&
        candidate->height == reference->height * factor) {
        candidate = boxReduced(*candidate, factor);
    }
    if (candidate->width != reference->width || candidate->height != reference->height) {
        std::fprintf(stderr, "pelk-imgdiff: sizes differ: %s is %d x %d, %s is %d x %d\n",
                     referencePath.c_str(), reference->width, reference->height,
                     candidatePath.c_str(), candidate->width, candidate->height);
        return kExitCannot;
    }

    const DiffStats stats = *comparePictures(*reference, *candidate, options.threshold);
    const double sharePercent = stats.shareOver * 100.0;
    const bool match =
        stats.worstMean() <= options.maxMean && sharePercent <= options.maxSharePercent;
    std::printf(
        "%s: mean abs diff R %.3f G %.3f B %.3f (limit %.3f), pixels off by > %d: %.3f%% "
        "(limit %.3f%%), largest diff %d\n",
        match ? "match" : "NO MATCH", stats.meanAbs[0], stats.meanAbs[1], stats.meanAbs[2],
        options.maxMean, options.threshold, sharePercent, options.maxSharePercent, stats.maxDiff);
    if (!options.diffPath.empty()) {
        std::string why;
        if (!savePicture(options.diffPath,
                         differencePicture(*reference, *candidate, options.threshold), why)) {
            std::fprintf(stderr, "pelk-imgdiff: cannot write %s: %s\n", options.diffPath.c_str(),
                         why.c_str());
            return kExitCannot;
        }
    }
    return match ? 0 : kExitNoMatch;
}
