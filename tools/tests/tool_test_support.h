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
#include <iterator>
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
    const int raw = std::system(cmd.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw), read_text(path("stdout.txt")),
            read_text(path("stderr.txt"))};
}

// Runs the tool and expects it to succeed with status 0.
inline Result run_ok(const std::vector<std::string> &args, const std::string &input = "",
                     const std::string &shell = "")
{
    Result r = run(args, input, shell);
    EXPECT_EQ(r.status, 0) << r.err;
    return r;
}

// Runs the tool and expects it to fail with status 1 and `message` in its standard error.
inline Result run_fails(const std::vector<std::string> &args, const std::string &message,
                        const std::string &shell = "")
{
    Result r = run(args, "", shell);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
    return r;
}

inline std::string xy(int x, int y) { return std::to_string(x) + "," + std::to_string(y); }
inline std::string dims(int w, int h, int c)
{
    return std::to_string(w) + "x" + std::to_string(h) + "x" + std::to_string(c);
}

// An image whose sample (x, y, c) is f(x, y, c), computed in row order.
template <class F> Image make_image(int w, int h, int channels, F f)
{
    Image img(w, h, channels);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < channels; ++c)
                img.row(y)[x * channels + c] = std::uint8_t(f(x, y, c));
    return img;
}
// Sample c of (x, y) with the coordinates clamped into the image: replicated borders.
inline int at(const Image &g, int x, int y, int c = 0)
{
    return g.row(std::clamp(y, 0, g.height - 1))[std::clamp(x, 0, g.width - 1) * g.channels + c];
}

// Binary PGM/PPM written and read here, independently of the tool's codec; returns the name.
inline std::string write_pnm(const std::string &name, const Image &img)
{
    std::string s = (img.channels == 1 ? "P5\n" : "P6\n") + std::to_string(img.width) + " " +
                    std::to_string(img.height) + "\n255\n";
    for (int y = 0; y < img.height; ++y)
        s.append(reinterpret_cast<const char *>(img.row(y)), std::size_t(img.width) * img.channels);
    write_bytes(path(name), s);
    return name;
}
// Writes STEM.pgm or STEM.ppm, by the image's channels, and returns the name.
inline std::string write_stem(const std::string &stem, const Image &img)
{
    return write_pnm(stem + (img.channels == 1 ? ".pgm" : ".ppm"), img);
}
inline Image read_pnm(const std::string &name)
{
    std::istringstream in(read_text(path(name)));
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
    return make_image(w, h, channels, [&](int x, int y, int c) {
        seed = seed * 1103515245u + 12345u;
        int v = 40 + (x * 120) / w + c * 25;
        if (x > w / 3 && x < 2 * w / 3 && y > h / 4 && y < h / 2) v = 220 - c * 30;
        int dx = x - w / 4, dy = y - 2 * h / 3;
        if (dx * dx + dy * dy < (h / 5) * (h / 5)) v = 15;
        if ((x + y) % 11 == 0) v += int((seed >> 16) % 9);
        return std::clamp(v, 0, 255);
    });
}

// ITU-R BT.601 luma in integers, as the tool converts colour input to grey.
inline Image grey_of(const Image &img)
{
    if (img.channels == 1) return img;
    return make_image(img.width, img.height, 1, [&](int x, int y, int) {
        const std::uint8_t *p = img.row(y) + 3 * x;
        return (77 * p[0] + 150 * p[1] + 29 * p[2] + 128) >> 8;
    });
}

// The words of a command line (no quoting: no argument in these tests holds a space).
inline std::vector<std::string> words(const std::string &line)
{
    std::istringstream in(line);
    return {std::istream_iterator<std::string>(in), {}};
}

// A command line the tool must refuse, and part of the message it must give.
struct BadInput {
    std::string line;     // the arguments, separated by spaces
    std::string message;  // part of the stderr line
};

// Each refusal: exit status 1, nothing on stdout, and (for a command) one stderr line that
// contains the message and starts with "zylcv COMMAND: " unless the message itself starts with
// "zylcv".
inline void expect_refusals(const std::vector<BadInput> &table)
{
    for (const BadInput &b : table) {
        SCOPED_TRACE(b.line);
        const std::vector<std::string> args = words(b.line);
        const Result r = run_fails(args, b.message);
        EXPECT_EQ(r.out, "");
        if (!args.empty()) {
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
            const std::string start =
                b.message.starts_with("zylcv") ? b.message : "zylcv " + args[0] + ": ";
            EXPECT_TRUE(r.err.starts_with(start)) << r.err;
        }
    }
}

// A command line (words separated by spaces) and the exact standard output it must give, with
// status 0.
struct Output {
    std::string line, out;
};
inline void expect_outputs(const std::vector<Output> &table)
{
    for (const Output &o : table) {
        SCOPED_TRACE(o.line);
        EXPECT_EQ(run_ok(words(o.line)).out, o.out);
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
    std::string line;  // the command, then its options, separated by spaces
    int width, height, channels;
    std::function<Image(const Image &)> expect;
    std::function<void(Image &)> prepare = {};  // changes the test image before it is written
};
inline void expect_op(const OpCase &c)
{
    Image in = test_image(c.width, c.height, c.channels, unsigned(c.width * 7 + c.height));
    if (c.prepare) c.prepare(in);
    std::vector<std::string> args = words(c.line);
    args.insert(args.begin() + 1, {write_stem("in", in), "out.pnm"});
    std::remove(path("out.pnm").c_str());
    const Result r = run_ok(args);
    EXPECT_EQ(r.out + r.err, "");  // nothing printed
    EXPECT_TRUE(same_pixels(read_pnm("out.pnm"), c.expect(in)));
}
inline std::string op_name(const ::testing::TestParamInfo<OpCase> &info)
{
    const OpCase &c = info.param;
    std::string n = c.line + " " + dims(c.width, c.height, c.channels);
    for (char &ch : n)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return n;
}

}  // namespace tool_test
