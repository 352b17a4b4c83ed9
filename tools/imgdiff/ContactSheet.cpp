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
#include <optional>
#include <string>
#include <vector>

#include "tools/common/CommandLine.h"
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

constexpr int kExitFailed = 1;

// Reads the command line: nothing when the tool goes on, else the exit status to end with.
std::optional<int> readCommandLine(int argc, char** argv, Options& options) {
    CommandLine commandLine("pelk-contact-sheet",
                            "Lays pictures out in a grid of thumbnails, each with the caption "
                            "given before it, or scales a single picture down.");
    CLI::App& app = commandLine.app();
    std::vector<std::string> pictures;
    std::vector<std::string> labels;
    app.add_option("--out", options.out, "the sheet to write (PNG)")
        ->type_name("FILE")
        ->required()
        ->transform(notEmpty("a file"));
    app.add_option("--columns", options.columns, "thumbnails per row (default 3)")
        ->type_name("C")
        ->transform(wholeNumberFrom(1, 64, "a whole number from 1 to 64"));
    app.add_option("--width", options.width, "each thumbnail's width in pixels (default 341)")
        ->type_name("W")
        ->transform(wholeNumberFrom(16, 8192, "a whole number from 16 to 8192"));
    CLI::Option* label = commandLine.addRepeatable(
        "--label", labels, "the caption of the picture that follows it (repeatable)");
    label->type_name("TEXT");
    CLI::Option* picture =
        app.add_option("pictures", pictures, "the pictures, in the sheet's order")
            ->type_name("PICTURE")
            ->required();
    app.footer(
        "Exit status: 0 done, 1 a picture could not be read or the sheet written (nothing "
        "of it is left), 2 bad options.");
    if (const std::optional<int> end = commandLine.parse(argc, argv)) return end;
    // Each label goes with the picture after it, in the order of the command line.
    std::size_t nextLabel = 0;
    std::size_t nextPicture = 0;
    std::string pending;
    for (const CLI::Option* option : app.parse_order()) {
        if (option == label) {
            pending = labels[nextLabel++];
        } else if (option == picture) {
            options.entries.push_back({pictures[nextPicture++], pending});
            pending.clear();
        }
    }
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (const std::optional<int> end = readCommandLine(argc, argv, options)) return *end;
    std::string why;
    std::vector<Image> thumbnails;
    bool labelled = false;
    for (const Entry& entry : options.entries) {
        const std::optional<Image> picture = loadPicture(entry.path);
        if (!picture) {
            std::fprintf(stderr, "pelk-contact-sheet: cannot read %s\n", entry.path.c_str());
            return kExitFailed;
        }
        const int height =
            std::max(1, (picture->height * options.width + picture->width / 2) / picture->width);
        thumbnails.push_back(resized(*picture, options.width, height));
        labelled = labelled || !entry.label.empty();
    }
    if (thumbnails.size() == 1 && !labelled) {
        if (!savePicture(options.out, thumbnails[0], why)) {
            std::fprintf(stderr, "pelk-contact-sheet: cannot write %s: %s\n", options.out.c_str(),
                         why.c_str());
            return kExitFailed;
        }
        std::printf("wrote %s\n", options.out.c_str());
        return 0;
    }

    int cellHeight = 0;
    for (const Image& t : thumbnails) cellHeight = std::max(cellHeight, t.height);
    const int captionHeight = labelled ? textSize("0", kTextScale)[1] + 2 * kGap : 0;
    const int count = static_cast<int>(thumbnails.size());
    const int columns = std::min(options.columns, count);
    const int rows = (count + columns - 1) / columns;
    Image sheet(kGap + columns * (options.width + kGap),
                kGap + rows * (cellHeight + captionHeight + kGap), kBackground);
    for (int i = 0; i < count; ++i) {
        const Image& t = thumbnails[static_cast<std::size_t>(i)];
        const int left = kGap + (i % columns) * (options.width + kGap);
        const int top = kGap + (i / columns) * (cellHeight + captionHeight + kGap);
        for (int y = 0; y < t.height; ++y) {
            std::copy(t.at(0, y), t.at(0, y) + static_cast<std::ptrdiff_t>(t.width) * 3,
                      sheet.at(left, top + y));
        }
        const std::string& label = options.entries[static_cast<std::size_t>(i)].label;
        const int textWidth = textSize(label, kTextScale)[0];
        drawText(sheet, left + (options.width - textWidth) / 2, top + cellHeight + kGap, label,
                 kTextScale, kTextColor);
    }
    if (!savePicture(options.out, sheet, why)) {
        std::fprintf(stderr, "pelk-contact-sheet: cannot write %s: %s\n", options.out.c_str(),
                     why.c_str());
        return kExitFailed;
    }
    std::printf("wrote %s (%d x %d)\n", options.out.c_str(), sheet.width, sheet.height);
    return 0;
}
