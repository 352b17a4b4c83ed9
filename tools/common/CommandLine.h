#pragma once

#include <CLI/CLI.hpp>
#include <optional>
#include <string>

#include "tools/common/ToolName.h"

// The tools' command lines, read with CLI11 in one way for all of them: --help prints the
// generated usage on standard output and ends with exit status 0; a bad option ends the tool
// with kExitBadOptions after one line on standard error that names the option and what it
// wants ("pelk-capture: --at wants seconds from 0 to 86400, got 'inf'"), before anything else
// is done. Values are trimmed of white space on both sides before they are checked.

inline constexpr int kExitBadOptions = 2;

class CommandLine {
public:
    // `program` names the tool in its usage and in every line it writes ("pelk-capture").
    CommandLine(const char* program, const std::string& description);
    CommandLine(const CommandLine&) = delete;
    CommandLine& operator=(const CommandLine&) = delete;

    CLI::App& app() { return app_; }

    // An option that may be given again and again, one value each time (--at 3 --at 20).
    template <typename T>
    CLI::Option* addRepeatable(const std::string& name, std::vector<T>& values,
                               const std::string& help) {
        return app_.add_option(name, values, help)
            ->expected(1)
            ->allow_extra_args(false)
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    }

    // Reads the command line. Nothing when the tool goes on; otherwise the exit status to end
    // with: 0 after --help, kExitBadOptions after the line that says what is wrong.
    std::optional<int> parse(int argc, const char* const* argv);
    // A refusal found after parse(), such as options that do not fit together: "PROGRAM: why"
    // on standard error; returns kExitBadOptions.
    int refuse(const std::string& why) const;

private:
    CLI::App app_;
};

// A copy of `text` without white space at either end.
std::string trimmed(const std::string& text);

// Value checks for CLI11 (Option::transform): each trims the value, then refuses it with
// "wants WANTS, got 'VALUE'" where it does not fit.

// A finite number from `lowest` to `highest`, the whole (trimmed) text.
CLI::Validator numberFrom(double lowest, double highest, const std::string& wants);
// A whole number from `lowest` to `highest`, in decimal digits: no fraction, no exponent.
CLI::Validator wholeNumberFrom(long lowest, long highest, const std::string& wants);
// `count` finite numbers from `lowest` to `highest`, separated by commas ("1,2,3"), each
// trimmed.
CLI::Validator numberListFrom(int count, double lowest, double highest, const std::string& wants);
// The numbers of a list that numberListFrom() accepted.
std::vector<double> readNumberList(const std::string& text);
// One of `choices`, exactly (after trimming).
CLI::Validator oneOf(const std::vector<std::string>& choices, const std::string& wants);
// Something not empty (a file or folder name); kept as it is, spaces and all.
CLI::Validator notEmpty(const std::string& wants);
