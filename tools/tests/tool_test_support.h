// Helpers shared by the tests of the zylcv tool: a private work directory, running the tool
// with its output captured, PGM/PPM written and read independently of the tool's codecs, pixel
// comparison, and a test image with edges in every direction.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "image_io.h"

namespace tool_test {

using zylcv_tool::Image;

inline std::string work_dir()
{
    static std::string dir = [] {
        char tmpl[] = "/tmp/zylcv-tool-test-XXXXXX";
        const char *d = mkdtemp(tmpl);
        return std::string(d ? d : "/tmp");
    }();
    return dir;
}
inline std::string path(const std::string &name) { return work_dir() + "/" + name; }

inline std::string read_text(const std::string &p)
{
    std::ifstream f(p, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}
inline void write_bytes(const std::string &p, const std::string &bytes)
{
    std::ofstream(p, std::ios::binary) << bytes;
}

struct Result {
    int status;  // exit status, or 128 + signal
    std::string out, err;
};

// Runs the tool in the work directory; `input` (a file name) becomes standard input; `shell`
// runs first in the same shell (limits, traps).
inline Result run(const std::vector<std::string> &args, const std::string &input = "",
                  const std::string &shell = "")
{
    std::string cmd = "cd '" + work_dir() + "' && " + shell + " '" ZYLCV_TOOL_PATH "'";
    for (const std::string &a : args) cmd += " '" + a + "'";
    cmd += " < " + (input.empty() ? std::string("/dev/null") : "'" + input + "'");
    cmd += " > stdout.txt 2> stderr.txt";
    int raw = std::system(cmd.c_str());
    Result r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    r.out = read_text(path("stdout.txt"));
    r.err = read_text(path("stderr.txt"));
    return r;
}

// Runs the tool and expects it to succeed with status 0.
inline Result run_ok(const std::vector<std::string> &args, const std::string &input = "",
                     const std::string &shell = "")
{
    Result r = run(args, input, shell);
    EXPECT_EQ(r.status, 0) << r.err;
    return r;
}

inline std::string joined(const std::vector<std::string> &args)
{
    std::string s;
    for (const auto &a : args) s += a + " ";
    return s;
}

// Binary PGM/PPM written and read here, independently of the tool's codec.
inline void write_pnm(const std::string &name, const Image &img)
{
    std::string s = (img.channels == 1 ? "P5\n" : "P6\n") + std::to_string(img.width) + " " +
                    std::to_string(img.height) + "\n255\n";
    for (int y = 0; y < img.height; ++y)
        s.append(reinterpret_cast<const char *>(img.row(y)), std::size_t(img.width) * img.channels);
    write_bytes(path(name), s);
}
inline Image read_pnm(const std::string &name)
{
    std::string s = read_text(path(name));
    std::istringstream in(s);
    std::string magic;
    int w = 0, h = 0, maxval = 0;
    in >> magic >> w >> h >> maxval;
    in.get();
    EXPECT_TRUE((magic == "P5" || magic == "P6") && maxval == 255) << name;
    Image img(std::max(w, 1), std::max(h, 1), magic == "P6" ? 3 : 1);
    for (int y = 0; y < h; ++y)
        in.read(reinterpret_cast<char *>(img.row(y)), std::streamsize(w) * img.channels);
    return img;
}

// Equal size, channels and samples; the failure names the first difference.
inline ::testing::AssertionResult same_pixels(const Image &a, const Image &b)
{
    if (a.width != b.width || a.height != b.height || a.channels != b.channels)
        return ::testing::AssertionFailure()
               << "size " << a.width << "x" << a.height << "x" << a.channels << " vs " << b.width
               << "x" << b.height << "x" << b.channels;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width * a.channels; ++x)
            if (a.row(y)[x] != b.row(y)[x])
                return ::testing::AssertionFailure()
                       << "element " << x << " of row " << y << ": " << int(a.row(y)[x]) << " vs "
                       << int(b.row(y)[x]);
    return ::testing::AssertionSuccess();
}

// Blocks, a ramp, a dark disc and light noise: edges in every direction, flat regions for
// fills, and no two rows alike.
inline Image test_image(int w, int h, int channels, unsigned seed)
{
    Image img(w, h, channels);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < channels; ++c) {
                seed = seed * 1103515245u + 12345u;
                int v = 40 + (x * 120) / w + c * 25;
                if (x > w / 3 && x < 2 * w / 3 && y > h / 4 && y < h / 2) v = 220 - c * 30;
                int dx = x - w / 4, dy = y - 2 * h / 3;
                if (dx * dx + dy * dy < (h / 5) * (h / 5)) v = 15;
                if ((x + y) % 11 == 0) v += int((seed >> 16) % 9);
                img.row(y)[x * channels + c] = std::uint8_t(std::clamp(v, 0, 255));
            }
    return img;
}

// ITU-R BT.601 luma in integers, as the tool converts colour input to grey.
inline Image grey_of(const Image &img)
{
    if (img.channels == 1) return img;
    Image g(img.width, img.height, 1);
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x) {
            const std::uint8_t *p = img.row(y) + 3 * x;
            g.row(y)[x] = std::uint8_t((77 * p[0] + 150 * p[1] + 29 * p[2] + 128) >> 8);
        }
    return g;
}

// A command line the tool must refuse, and part of the message it must give.
struct BadInput {
    std::vector<std::string> args;
    std::string message;  // part of the stderr line
};

// Each refusal: exit status 1, nothing on stdout, and (for a command) one stderr line that starts
// with "zylcv" (the program, then the command) and contains the message.
inline void expect_refusals(const std::vector<BadInput> &table)
{
    for (const BadInput &b : table) {
        SCOPED_TRACE(joined(b.args));
        Result r = run(b.args);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find(b.message), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
        if (!b.args.empty()) {
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
            EXPECT_EQ(r.err.compare(0, 5, "zylcv"), 0) << r.err;
        }
    }
}

// A command line and the exact standard output it must give, with status 0.
struct Output {
    std::vector<std::string> args;
    std::string out;
};
inline void expect_outputs(const std::vector<Output> &table)
{
    for (const Output &o : table) {
        SCOPED_TRACE(joined(o.args));
        EXPECT_EQ(run_ok(o.args).out, o.out);
    }
}

// Each command's --help: status 0, its usage line first, nothing on stderr; and the command is
// listed in the program's own --help.
inline void expect_help(const std::vector<std::string> &commands)
{
    const Result all = run_ok({"--help"});
    for (const std::string &cmd : commands) {
        SCOPED_TRACE(cmd);
        Result r = run_ok({cmd, "--help"});
        EXPECT_EQ(r.out.compare(0, 13 + cmd.size(), "usage: zylcv " + cmd), 0) << r.out;
        EXPECT_EQ(r.err, "");
        EXPECT_NE(all.out.find("  " + cmd + " "), std::string::npos) << all.out;
    }
}

// One image command against its reference: a test image of the given size is written, the
// command runs on it (IN OUT, then the options) and must write exactly the reference's pixels,
// printing nothing.
struct OpCase {
    std::string label;
    std::vector<std::string> args;  // the command, then its options
    int width, height, channels;
    std::function<Image(const Image &)> expect;
    std::function<void(Image &)> prepare = {};  // changes the test image before it is written
};
inline void expect_op(const OpCase &c)
{
    Image in = test_image(c.width, c.height, c.channels, unsigned(c.width * 7 + c.height));
    if (c.prepare) c.prepare(in);
    const std::string inName = c.channels == 1 ? "in.pgm" : "in.ppm";
    write_pnm(inName, in);
    std::vector<std::string> args = {c.args[0], inName, "out.pnm"};
    args.insert(args.end(), c.args.begin() + 1, c.args.end());
    std::remove(path("out.pnm").c_str());
    Result r = run_ok(args);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(same_pixels(read_pnm("out.pnm"), c.expect(in)));
}
inline std::string op_name(const ::testing::TestParamInfo<OpCase> &info)
{
    std::string n = info.param.label + "_" + std::to_string(info.param.width) + "x" +
                    std::to_string(info.param.height) + "_C" + std::to_string(info.param.channels);
    for (char &ch : n)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return n;
}

}  // namespace tool_test
