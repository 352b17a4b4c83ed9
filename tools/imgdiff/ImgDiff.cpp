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
// Exit code: 0 match, 1 no match, 2 a picture is unreadable or the sizes do not fit.
//
//   pelk-imgdiff --reduce FACTOR PICTURE OUT
//
// writes PICTURE box-reduced by FACTOR (each FACTOR x FACTOR block becomes its mean), the way a
// reference picture is stored.

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "tools/imgdiff/Image.h"

namespace {

struct Options {
    std::string reference;
    std::string candidate;
    std::string diffPath;
    int threshold = 8;
    double maxMean = 0.5;
    double maxSharePercent = 0.05;
};

void usage() {
    std::fprintf(stderr,
                 "usage: pelk-imgdiff REFERENCE CANDIDATE [--threshold T] [--max-mean M]\n"
                 "                    [--max-share PERCENT] [--diff FILE]\n"
                 "       pelk-imgdiff --reduce FACTOR PICTURE OUT\n");
}

std::optional<Options> parseOptions(int argc, char** argv) {
    Options options;
    int positional = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--", 0) != 0) {
            (positional++ == 0 ? options.reference : options.candidate) = arg;
            continue;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "pelk-imgdiff: %s needs a value\n", arg.c_str());
            return std::nullopt;
        }
        const char* value = argv[++i];
        char* end = nullptr;
        const double number = std::strtod(value, &end);
        const bool isNumber = end != value && *end == '\0' && number >= 0.0;
        if (arg == "--diff") {
            options.diffPath = value;
        } else if (arg == "--threshold" && isNumber && number <= 255.0) {
            options.threshold = static_cast<int>(number);
        } else if (arg == "--max-mean" && isNumber) {
            options.maxMean = number;
        } else if (arg == "--max-share" && isNumber && number <= 100.0) {
            options.maxSharePercent = number;
        } else {
            std::fprintf(stderr, "pelk-imgdiff: bad option or value: %s %s\n", arg.c_str(), value);
            return std::nullopt;
        }
    }
    if (positional != 2) {
        std::fprintf(stderr, "pelk-imgdiff: wants two pictures, got %d\n", positional);
        return std::nullopt;
    }
    return options;
}

int reduce(const std::string& factorText, const std::string& in, const std::string& out) {
    const int factor = std::atoi(factorText.c_str());
    const std::optional<Image> picture = loadPicture(in);
    if (factor < 1 || factor > 16 || !picture || picture->width % factor != 0 ||
        picture->height % factor != 0) {
        std::printf("pelk-imgdiff: cannot reduce %s by %s\n", in.c_str(), factorText.c_str());
        return 2;
    }
    if (!savePicture(out, boxReduced(*picture, factor))) {
        std::printf("pelk-imgdiff: cannot write %s\n", out.c_str());
        return 2;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::string(argv[1]) == "--reduce") return reduce(argv[2], argv[3], argv[4]);
    const std::optional<Options> options = parseOptions(argc, argv);
    if (!options) {
        usage();
        return 2;
    }
    const std::optional<Image> reference = loadPicture(options->reference);
    std::optional<Image> candidate = loadPicture(options->candidate);
    if (!reference || !candidate) {
        std::printf("pelk-imgdiff: cannot read %s\n",
                    (!reference ? options->reference : options->candidate).c_str());
        return 2;
    }
    const int factor = reference->width > 0 ? candidate->width / reference->width : 0;
    if (factor > 1 && candidate->width == reference->width * factor &&
        candidate->height == reference->height * factor) {
        candidate = boxReduced(*candidate, factor);
    }
    if (candidate->width != reference->width || candidate->height != reference->height) {
        std::printf("pelk-imgdiff: sizes differ: %s is %d x %d, %s is %d x %d\n",
                    options->reference.c_str(), reference->width, reference->height,
                    options->candidate.c_str(), candidate->width, candidate->height);
        return 2;
    }

    const DiffStats stats = *comparePictures(*reference, *candidate, options->threshold);
    const double sharePercent = stats.shareOver * 100.0;
    const bool match =
        stats.worstMean() <= options->maxMean && sharePercent <= options->maxSharePercent;
    std::printf(
        "%s: mean abs diff R %.3f G %.3f B %.3f (limit %.3f), pixels off by > %d: %.3f%% "
        "(limit %.3f%%), largest diff %d\n",
        match ? "match" : "NO MATCH", stats.meanAbs[0], stats.meanAbs[1], stats.meanAbs[2],
        options->maxMean, options->threshold, sharePercent, options->maxSharePercent,
        stats.maxDiff);
    if (!options->diffPath.empty()) {
        if (!savePicture(options->diffPath,
                         differencePicture(*reference, *candidate, options->threshold))) {
            std::printf("pelk-imgdiff: cannot write %s\n", options->diffPath.c_str());
            return 2;
        }
    }
    return match ? 0 : 1;
}
