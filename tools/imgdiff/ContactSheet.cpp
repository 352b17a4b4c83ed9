// pelk-contact-sheet: lays pictures out in a grid of thumbnails, each with an optional caption
// under it, or scales a single picture down.
//
//   pelk-contact-sheet --out FILE [--columns C] [--width W] [--label TEXT] PICTURE ...
//
// Every thumbnail is W pixels wide (default 341) with the height that keeps the picture's
// proportions; --label captions the picture that follows it. With one picture and no label the
// result is just that picture at width W.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "tools/imgdiff/Image.h"

namespace {

constexpr int kGap = 4;  // pixels between thumbnails and around the sheet
constexpr int kTextScale = 2;
constexpr std::array<unsigned char, 3> kTextColor{235, 235, 235};
constexpr unsigned char kBackground = 24;

struct Entry {
    std::string path;
    std::string label;
};

struct Options {
    std::string out;
    int columns = 3;
    int width = 341;
    std::vector<Entry> entries;
};

void usage() {
    std::fprintf(stderr,
                 "usage: pelk-contact-sheet --out FILE [--columns C] [--width W] "
                 "[--label TEXT] PICTURE ...\n");
}

std::optional<Options> parseOptions(int argc, char** argv) {
    Options options;
    std::string label;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--", 0) != 0) {
            options.entries.push_back({arg, label});
            label.clear();
            continue;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "pelk-contact-sheet: %s needs a value\n", arg.c_str());
            return std::nullopt;
        }
        const std::string value = argv[++i];
        const int number = std::atoi(value.c_str());
        if (arg == "--out") {
            options.out = value;
        } else if (arg == "--label") {
            label = value;
        } else if (arg == "--columns" && number >= 1 && number <= 64) {
            options.columns = number;
        } else if (arg == "--width" && number >= 16 && number <= 8192) {
            options.width = number;
        } else {
            std::fprintf(stderr, "pelk-contact-sheet: bad option or value: %s %s\n", arg.c_str(),
                         value.c_str());
            return std::nullopt;
        }
    }
    if (options.out.empty() || options.entries.empty()) {
        std::fprintf(stderr, "pelk-contact-sheet: wants --out and at least one picture\n");
        return std::nullopt;
    }
    return options;
}

}  // namespace

int main(int argc, char** argv) {
    const std::optional<Options> options = parseOptions(argc, argv);
    if (!options) {
        usage();
        return 2;
    }
    std::vector<Image> thumbnails;
    bool labelled = false;
    for (const Entry& entry : options->entries) {
        const std::optional<Image> picture = loadPicture(entry.path);
        if (!picture) {
            std::printf("pelk-contact-sheet: cannot read %s\n", entry.path.c_str());
            return 1;
        }
        const int height =
            std::max(1, (picture->height * options->width + picture->width / 2) / picture->width);
        thumbnails.push_back(resized(*picture, options->width, height));
        labelled = labelled || !entry.label.empty();
    }
    if (thumbnails.size() == 1 && !labelled) {
        if (!savePicture(options->out, thumbnails[0])) {
            std::printf("pelk-contact-sheet: cannot write %s\n", options->out.c_str());
            return 1;
        }
        std::printf("wrote %s\n", options->out.c_str());
        return 0;
    }

    int cellHeight = 0;
    for (const Image& t : thumbnails) cellHeight = std::max(cellHeight, t.height);
    const int captionHeight = labelled ? textSize("0", kTextScale)[1] + 2 * kGap : 0;
    const int count = static_cast<int>(thumbnails.size());
    const int columns = std::min(options->columns, count);
    const int rows = (count + columns - 1) / columns;
    Image sheet(kGap + columns * (options->width + kGap),
                kGap + rows * (cellHeight + captionHeight + kGap), kBackground);
    for (int i = 0; i < count; ++i) {
        const Image& t = thumbnails[static_cast<std::size_t>(i)];
        const int left = kGap + (i % columns) * (options->width + kGap);
        const int top = kGap + (i / columns) * (cellHeight + captionHeight + kGap);
        for (int y = 0; y < t.height; ++y) {
            std::copy(t.at(0, y), t.at(0, y) + static_cast<std::ptrdiff_t>(t.width) * 3,
                      sheet.at(left, top + y));
        }
        const std::string& label = options->entries[static_cast<std::size_t>(i)].label;
        const int textWidth = textSize(label, kTextScale)[0];
        drawText(sheet, left + (options->width - textWidth) / 2, top + cellHeight + kGap, label,
                 kTextScale, kTextColor);
    }
    if (!savePicture(options->out, sheet)) {
        std::printf("pelk-contact-sheet: cannot write %s\n", options->out.c_str());
        return 1;
    }
    std::printf("wrote %s (%d x %d)\n", options->out.c_str(), sheet.width, sheet.height);
    return 0;
}
