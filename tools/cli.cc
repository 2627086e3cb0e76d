// Option parsing and status names for the zylcv tool.
#include "cli.h"

#include <algorithm>
#include <cstdio>

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace zylcv_tool {

const char *status_name(ZylStatus st)
{
    switch (st) {
    case zylStatusOk:
        return "zylStatusOk";
    case zylStatusNoOperation:
        return "zylStatusNoOperation";
    case zylStatusError:
        return "zylStatusError";
    case zylStatusBadArg:
        return "zylStatusBadArg";
    case zylStatusBadSize:
        return "zylStatusBadSize";
    case zylStatusNullPtr:
        return "zylStatusNullPtr";
    case zylStatusNoMemory:
        return "zylStatusNoMemory";
    case zylStatusOutOfRange:
        return "zylStatusOutOfRange";
    case zylStatusUnsupported:
        return "zylStatusUnsupported";
    case zylStatusBadStep:
        return "zylStatusBadStep";
    case zylStatusContextMismatch:
        return "zylStatusContextMismatch";
    case zylStatusBadChannelOfInterest:
        return "zylStatusBadChannelOfInterest";
    case zylStatusBadChannels:
        return "zylStatusBadChannels";
    case zylStatusStepNotAligned:
        return "zylStatusStepNotAligned";
    default:
        return "unknown status";
    }
}

const char *status_meaning(ZylStatus st)
{
    switch (st) {
    case zylStatusOk:
        return "success";
    case zylStatusNoOperation:
        return "nothing to produce";
    case zylStatusError:
        return "set-up failed";
    case zylStatusBadArg:
        return "argument outside its allowed set";
    case zylStatusBadSize:
        return "size out of range";
    case zylStatusNullPtr:
        return "null pointer";
    case zylStatusNoMemory:
        return "out of memory";
    case zylStatusOutOfRange:
        return "seed, anchor, shape or parameter out of range";
    case zylStatusUnsupported:
        return "unsupported data type or channel count";
    case zylStatusBadStep:
        return "row step too small";
    case zylStatusContextMismatch:
        return "state built for another type or layout";
    case zylStatusBadChannelOfInterest:
        return "channel of interest outside 1..3";
    case zylStatusBadChannels:
        return "channel count other than 1 or 3";
    case zylStatusStepNotAligned:
        return "row step not a multiple of the element size";
    default:
        return "unexpected code";
    }
}

Args parse_args(const std::string &command, int argc, char **argv,
                const std::vector<OptionSpec> &options)
{
    Args a;
    a.command = command;
    bool optionsDone = false;
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        if (optionsDone || arg == "-" || arg.size() < 2 || arg[0] != '-') {
            a.positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsDone = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            a.help = true;
            continue;
        }
        if (arg.compare(0, 2, "--") != 0) {
            a.error = "unknown option '" + arg + "'";
            return a;
        }
        std::string name = arg.substr(2), value;
        bool inlineValue = false;
        if (auto eq = name.find('='); eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
            inlineValue = true;
        }
        const OptionSpec *spec = nullptr;
        for (const OptionSpec &o : options)
            if (name == o.name) spec = &o;
        if (!spec) {
            a.error = "unknown option '--" + name + "'";
            return a;
        }
        if (spec->takesValue && !inlineValue) {
            if (i + 1 >= argc) {
                a.error = "option '--" + name + "' needs a value";
                return a;
            }
            value = argv[++i];
        } else if (!spec->takesValue && inlineValue) {
            a.error = "option '--" + name + "' takes no value";
            return a;
        }
        a.values[name] = value;
    }
    return a;
}

bool parse_int(const std::string &text, long lo, long hi, const std::string &what, long &out,
               std::string &error)
{
    errno = 0;
    char *end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno == ERANGE) {
        error = what + ": '" + text + "' is not a whole number";
        return false;
    }
    if (v < lo || v > hi) {
        error =
            what + " " + text + ": must be in " + std::to_string(lo) + ".." + std::to_string(hi);
        return false;
    }
    out = v;
    return true;
}

bool parse_float(const std::string &text, const std::string &what, double &out, std::string &error)
{
    errno = 0;
    char *end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno == ERANGE || !std::isfinite(v)) {
        error = what + ": '" + text + "' is not a finite number";
        return false;
    }
    out = v;
    return true;
}

bool parse_pair(const std::string &text, char sep, const std::string &what, long &a, long &b,
                std::string &error)
{
    auto at = text.find(sep);
    if (at == std::string::npos) {
        error = what + ": '" + text + "' is not of the form A" + std::string(1, sep) + "B";
        return false;
    }
    return parse_int(text.substr(0, at), -1000000000L, 1000000000L, what, a, error) &&
           parse_int(text.substr(at + 1), -1000000000L, 1000000000L, what, b, error);
}

bool parse_colour(const std::string &text, const std::string &what, std::uint8_t rgb[3],
                  std::string &error)
{
    static const struct {
        const char *name;
        std::uint8_t r, g, b;
    } named[] = {{"white", 255, 255, 255}, {"black", 0, 0, 0}, {"grey", 128, 128, 128},
                 {"gray", 128, 128, 128},  {"red", 255, 0, 0}, {"green", 0, 128, 0},
                 {"blue", 0, 0, 255}};
    for (const auto &n : named)
        if (text == n.name) {
            rgb[0] = n.r, rgb[1] = n.g, rgb[2] = n.b;
            return true;
        }
    auto hex = [](char c) {
        return c >= '0' && c <= '9'   ? c - '0'
               : c >= 'a' && c <= 'f' ? c - 'a' + 10
               : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                      : -1;
    };
    if (text.size() == 7 && text[0] == '#') {
        bool ok = true;
        for (int i = 0; i < 3; ++i) {
            const int hi = hex(text[1 + 2 * i]), lo = hex(text[2 + 2 * i]);
            ok = ok && hi >= 0 && lo >= 0;
            rgb[i] = std::uint8_t(hi * 16 + lo);
        }
        if (ok) return true;
    } else {
        // "V" (grey) or "R,G,B", each 0..255.
        std::string rest = text;
        long v[3];
        int n = 0;
        for (; n < 3; ++n) {
            const auto comma = rest.find(',');
            std::string ignored;
            if (!parse_int(rest.substr(0, comma), 0, 255, what, v[n], ignored)) break;
            if (comma == std::string::npos) {
                ++n;
                break;
            }
            rest = rest.substr(comma + 1);
        }
        if (n == 1 && text.find(',') == std::string::npos) {
            rgb[0] = rgb[1] = rgb[2] = std::uint8_t(v[0]);
            return true;
        }
        if (n == 3 && std::count(text.begin(), text.end(), ',') == 2) {
            for (int i = 0; i < 3; ++i) rgb[i] = std::uint8_t(v[i]);
            return true;
        }
    }
    error =
        what + ": '" + text +
        "' is not a colour (a name such as white or black, #RRGGBB, R,G,B or a grey level, 0..255)";
    return false;
}

std::string json_string(const std::string &text)
{
    std::string out = "\"";
    for (unsigned char ch : text) {
        if (ch == '"' || ch == '\\') out += '\\', out += char(ch);
        else if (ch < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", ch);
            out += buf;
        } else out += char(ch);
    }
    return out + "\"";
}

}  // namespace zylcv_tool
