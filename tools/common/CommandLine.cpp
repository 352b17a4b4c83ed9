#include "tools/common/CommandLine.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace {

constexpr const char* kSpace = " \t\n\v\f\r";

// Why a value was refused, in the words every check uses.
std::string wanted(const std::string& wants, const std::string& value) {
    return "wants " + wants + ", got '" + value + "'";
}

// The whole text as a finite number; nothing for anything else ("inf", "nan", "3x", "").
std::optional<double> finiteNumber(const std::string& text) {
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::vector<std::string> splitAtCommas(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        parts.push_back(trimmed(text.substr(start, comma - start)));
        if (comma == std::string::npos) return parts;
        start = comma + 1;
    }
}

}  // namespace

std::string trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(kSpace);
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(kSpace) - first + 1);
}

CommandLine::CommandLine(const char* name, const std::string& description)
    : app_(description, name) {
    nameTool(name);
    app_.allow_extras(false);
    app_.get_formatter()->column_width(34);
}

std::optional<int> CommandLine::parse(int argc, const char* const* argv) {
    try {
        app_.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::cout << app_.help() << std::flush;
        return 0;
    } catch (const CLI::ValidationError& error) {
        // CLI11 writes "--at: wants ..."; the house's lines read "--at wants ...".
        std::string text = error.what();
        const std::size_t colon = text.find(": ");
        if (colon != std::string::npos) text.erase(colon, 1);
        return refuse(text);
    } catch (const CLI::ParseError& error) {
        return refuse(error.what());
    }
    return std::nullopt;
}

int CommandLine::refuse(const std::string& why) const {
    std::fprintf(stderr, "%s: %s\n", toolName(), why.c_str());
    return kExitBadOptions;
}

CLI::Validator numberFrom(double lowest, double highest, const std::string& wants) {
    return CLI::Validator(
        [=](std::string& value) -> std::string {
            const std::string text = trimmed(value);
            const std::optional<double> number = finiteNumber(text);
            if (!number || *number < lowest || *number > highest) return wanted(wants, value);
            value = text;
            return "";
        },
        "");
}

CLI::Validator wholeNumberFrom(long lowest, long highest, const std::string& wants) {
    return CLI::Validator(
        [=](std::string& value) -> std::string {
            const std::string text = trimmed(value);
            const bool digits =
                !text.empty() &&
                std::all_of(text.begin() + (text[0] == '-' || text[0] == '+' ? 1 : 0), text.end(),
                            [](char c) { return c >= '0' && c <= '9'; }) &&
                text.find_first_of("0123456789") != std::string::npos;
            if (!digits) return wanted(wants, value);
            errno = 0;
            const long number = std::strtol(text.c_str(), nullptr, 10);
            if (errno != 0 || number < lowest || number > highest) return wanted(wants, value);
            value = text;
            return "";
        },
        "");
}

CLI::Validator numberListFrom(int count, double lowest, double highest, const std::string& wants) {
    return CLI::Validator(
        [=](std::string& value) -> std::string {
            const std::vector<std::string> parts = splitAtCommas(value);
            if (parts.size() != static_cast<std::size_t>(count)) return wanted(wants, value);
            std::string joined;
            for (const std::string& part : parts) {
                const std::optional<double> number = finiteNumber(part);
                if (!number || *number < lowest || *number > highest) return wanted(wants, value);
                joined += (joined.empty() ? "" : ",") + part;
            }
            value = joined;
            return "";
        },
        "");
}

std::vector<double> readNumberList(const std::string& text) {
    std::vector<double> numbers;
    for (const std::string& part : splitAtCommas(text)) {
        numbers.push_back(finiteNumber(part).value_or(0.0) + 0.0);
    }
    return numbers;
}

CLI::Validator oneOf(const std::vector<std::string>& choices, const std::string& wants) {
    return CLI::Validator(
        [=](std::string& value) -> std::string {
            const std::string text = trimmed(value);
            if (std::find(choices.begin(), choices.end(), text) == choices.end()) {
                return wanted(wants, value);
            }
            value = text;
            return "";
        },
        "");
}

CLI::Validator notEmpty(const std::string& wants) {
    return CLI::Validator(
        [=](std::string& value) -> std::string {
            return value.empty() ? wanted(wants, value) : "";
        },
        "");
}
