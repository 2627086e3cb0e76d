// Option parsing and error reporting shared by the subcommands of the zylcv tool.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "zylcv.h"

namespace zylcv_tool {

// Status code → its name in the public header, e.g. "zylStatusBadSize".
const char *status_name(ZylStatus st);
// One-phrase meaning of a status, e.g. "size out of range".
const char *status_meaning(ZylStatus st);

// An option of a subcommand: "--name" alone (flag) or "--name VALUE" / "--name=VALUE".
struct OptionSpec {
    const char *name;  // without the leading dashes
    bool takesValue;
};

// The parsed command line of one subcommand. Parsing stops at the first problem and leaves the
// message in `error`; "--help" or "-h" anywhere sets `help`.
struct Args {
    std::string command;
    std::vector<std::string> positional;
    std::map<std::string, std::string> values;
    bool help = false;
    std::string error;

    bool has(const std::string &name) const { return values.count(name) != 0; }
    std::string get(const std::string &name, const std::string &fallback) const
    {
        auto it = values.find(name);
        return it == values.end() ? fallback : it->second;
    }
};

Args parse_args(const std::string &command, int argc, char **argv,
                const std::vector<OptionSpec> &options);

// Number parsers for option values: whole text must be a number in range, otherwise false with
// a message naming the option.
bool parse_int(const std::string &text, long lo, long hi, const std::string &what, long &out,
               std::string &error);
bool parse_float(const std::string &text, const std::string &what, double &out, std::string &error);
// "A,B" or "WxH": two integers separated by `sep`; the caller checks their range.
bool parse_pair(const std::string &text, char sep, const std::string &what, long &a, long &b,
                std::string &error);

// A colour: white, black, grey/gray, red, green, blue, #RRGGBB, "R,G,B" or one grey level.
bool parse_colour(const std::string &text, const std::string &what, std::uint8_t rgb[3],
                  std::string &error);

// A JSON string literal: quotes, backslashes and control characters escaped.
std::string json_string(const std::string &text);

}  // namespace zylcv_tool
