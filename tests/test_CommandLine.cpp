// The tools' shared command-line reading: values trimmed alike on both sides, whole counts that
// refuse fractions, ranges and their words, --help with exit status 0, one line for a refusal.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "tools/common/CommandLine.h"

namespace {

// What a check makes of a value: the value it passes on, or its refusal.
struct Checked {
    std::string value;
    std::string refusal;
};
Checked check(const CLI::Validator& validator, std::string value) {
    const std::string refusal = validator(value);
    return {value, refusal};
}

// Reads `args` (after the program's name) with a command line of one option of each kind.
struct Parsed {
    std::optional<int> end;
    double seconds = -1.0;
    long count = -1;
    std::vector<double> moments;
    bool flag = false;
};
Parsed parse(std::vector<const char*> args) {
    Parsed parsed;
    CommandLine commandLine("pelk-test", "A test of the shared command line.");
    CLI::App& app = commandLine.app();
    app.add_option("--seconds", parsed.seconds)
        ->transform(numberFrom(0, 10, "seconds from 0 to 10"));
    app.add_option("--count", parsed.count)
        ->transform(wholeNumberFrom(1, 5, "a whole number from 1 to 5"));
    commandLine.addRepeatable("--at", parsed.moments, "a moment")
        ->transform(numberFrom(0, 10, "seconds from 0 to 10"));
    app.add_flag("--flag", parsed.flag);
    args.insert(args.begin(), "pelk-test");
    parsed.end = commandLine.parse(static_cast<int>(args.size()), args.data());
    return parsed;
}

}  // namespace

TEST(CommandLine, ValuesAreTrimmedAlikeOnBothSides) {
    const CLI::Validator seconds = numberFrom(0, 86400, "seconds");
    for (const char* text : {"3", " 3", "3 ", "\t3\n", "  3  "}) {
        const Checked checked = check(seconds, text);
        EXPECT_EQ(checked.refusal, "") << "'" << text << "'";
        EXPECT_EQ(checked.value, "3") << "'" << text << "'";
    }
    const CLI::Validator count = wholeNumberFrom(1, 9, "a count");
    EXPECT_EQ(check(count, " 7 ").value, "7");
    EXPECT_EQ(check(oneOf({"egl", "glx"}, "egl or glx"), " glx ").value, "glx");
    EXPECT_EQ(check(numberListFrom(3, -9, 9, "X,Y,Z"), " 1 , 2,3 ").value, "1,2,3");
    // White space alone is no value at all.
    EXPECT_EQ(check(seconds, "   ").refusal, "wants seconds, got '   '");
    // A file name keeps its spaces.
    EXPECT_EQ(check(notEmpty("a file"), " a b ").value, " a b ");
}

TEST(CommandLine, WholeCountsRefuseFractionsExponentsAndWhatLiesOutsideTheirRange) {
    const CLI::Validator frames = wholeNumberFrom(1, 100000, "a whole number of frames");
    for (const char* text :
         {"1.9", "1.0", "1e3", "0x10", "2x", "", "-", "+", "0", "100001", "99999999999999999999"}) {
        EXPECT_EQ(check(frames, text).refusal,
                  std::string("wants a whole number of frames, got '") + text + "'");
    }
    EXPECT_EQ(check(frames, "1").refusal, "");
    EXPECT_EQ(check(frames, "100000").refusal, "");
    EXPECT_EQ(check(wholeNumberFrom(0, 2, "0, 1 or 2"), "0").refusal, "");
}

TEST(CommandLine, NumbersMustBeFiniteAndWithinTheirRangeBothEndsIncluded) {
    const CLI::Validator seconds = numberFrom(0, 86400, "seconds from 0 to 86400");
    for (const char* text : {"inf", "-inf", "nan", "1e30", "-1", "86400.001", "3s", "3,5"}) {
        EXPECT_NE(check(seconds, text).refusal, "") << text;
    }
    for (const char* text : {"0", "-0", "86400", "1e3", "0.5"}) {
        EXPECT_EQ(check(seconds, text).refusal, "") << text;
    }
    const CLI::Validator step = numberFrom(1.0 / 240, 86400, "a step");
    EXPECT_NE(check(step, "0.004").refusal, "");
    EXPECT_EQ(check(step, "0.0042").refusal, "");
}

TEST(CommandLine, ANumberListWantsExactlyItsCountOfFiniteNumbersInRange) {
    const CLI::Validator light = numberListFrom(3, -1000, 1000, "X,Y,Z");
    for (const char* text : {"1,2", "1,2,3,4", "1,,3", "1,2,3,", "nan,0,0", "0,1001,0", "1 2 3"}) {
        EXPECT_EQ(check(light, text).refusal, std::string("wants X,Y,Z, got '") + text + "'");
    }
    EXPECT_EQ(readNumberList("-0,2.5,-1000"), (std::vector<double>{0.0, 2.5, -1000.0}));
    EXPECT_FALSE(std::signbit(readNumberList("-0,0,0")[0]));
}

TEST(CommandLine, OnlyTheChoicesThemselvesAreTaken) {
    const CLI::Validator choice = oneOf({"auto", "egl"}, "auto or egl");
    EXPECT_EQ(check(choice, "egl").refusal, "");
    for (const char* text : {"EGL", "eg", "egl,auto", ""}) {
        EXPECT_EQ(check(choice, text).refusal,
                  std::string("wants auto or egl, got '") + text + "'");
    }
}

TEST(CommandLine, HelpPrintsTheUsageAndEndsWithZero) {
    std::optional<int> end;
    const std::string usage = captureStdout([&] { end = parse({"--help"}).end; });
    EXPECT_EQ(end, 0);
    EXPECT_NE(usage.find("A test of the shared command line."), std::string::npos) << usage;
    EXPECT_NE(usage.find("--count"), std::string::npos) << usage;
    EXPECT_EQ(parse({"-h"}).end, 0);
}

TEST(CommandLine, ARefusalIsOneLineOnStandardErrorThatNamesTheOptionAndEndsWithTwo) {
    const auto refusal = [](std::vector<const char*> args) {
        std::optional<int> end;
        const ChildEnd child = runInChild([&] {
            end = parse(std::move(args)).end;
            std::exit(end ? *end : 100);
        });
        EXPECT_TRUE(child.exited);
        EXPECT_EQ(child.code, kExitBadOptions);
        return child.errors;
    };
    EXPECT_EQ(refusal({"--count", "1.9"}),
              "pelk-test: --count wants a whole number from 1 to 5, got '1.9'\n");
    EXPECT_EQ(refusal({"--seconds", "inf"}),
              "pelk-test: --seconds wants seconds from 0 to 10, got 'inf'\n");
    EXPECT_EQ(refusal({"--at", "1", "--at", "11"}),
              "pelk-test: --at wants seconds from 0 to 10, got '11'\n");
    // CLI11's own refusals, in one line too.
    for (const std::vector<const char*>& args : {std::vector<const char*>{"--bogus"},
                                                 {"--count"},
                                                 {"--count", "1", "--count", "2"},
                                                 {"stray"}}) {
        const std::string line = refusal(args);
        EXPECT_EQ(line.rfind("pelk-test: ", 0), 0u) << line;
        EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1) << line;
    }
}

TEST(CommandLine, RepeatedOptionsTakeOneValueEachAndValuesArriveTrimmed) {
    const Parsed parsed = parse({"--at", " 3", "--at", "4 ", "--seconds", " 2 ", "--count", "5"});
    EXPECT_FALSE(parsed.end.has_value());
    EXPECT_EQ(parsed.moments, (std::vector<double>{3.0, 4.0}));
    EXPECT_EQ(parsed.seconds, 2.0);
    EXPECT_EQ(parsed.count, 5);
    // A second value after one --at is not taken as another moment.
    EXPECT_EQ(parse({"--at", "3", "4"}).end, kExitBadOptions);
}
