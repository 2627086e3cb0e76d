// What every subcommand of the zylcv tool shares: planes and buffers from the library's
// allocator, the run of one subcommand (its arguments, loading and saving, failures, timing)
// and the command table entry. Subcommands live in zylcv.cc and in one file per group of
// families (more_commands.cc); each group contributes its table entries.
#pragma once

#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "cli.h"
#include "image_io.h"
#include "zylcv.h"

namespace zylcv_tool {

// ---- memory from the library's allocator ------------------------------------------------

// A plane of T with 32-byte aligned rows, from zyliAlloc, released on scope exit.
template <class T> struct Plane {
    int width, height, step;
    void *block = nullptr;
    Plane(int w, int h, int channels = 1)
        : width(w), height(h), step(int((long(w) * channels * sizeof(T) + 31) / 32 * 32))
    {
        block = zyliAlloc(Zyl32s(long(step) * h + 32));
    }
    ~Plane() { _zycvFree_(&block); }
    Plane(const Plane &) = delete;
    Plane &operator=(const Plane &) = delete;
    bool ok() const { return block != nullptr; }
    T *data() { return static_cast<T *>(block); }
    T *row(int y) { return reinterpret_cast<T *>(static_cast<char *>(block) + long(y) * step); }
};

struct Buffer {
    void *p = nullptr;
    explicit Buffer(Zyl32s n) { p = zyliAlloc(n > 0 ? n : 1); }
    ~Buffer() { _zycvFree_(&p); }
    Buffer(const Buffer &) = delete;
    Buffer &operator=(const Buffer &) = delete;
    Zyl8u *bytes() { return static_cast<Zyl8u *>(p); }
};

// ---- one subcommand's run -------------------------------------------------------------

using Clock = std::chrono::steady_clock;

struct Run {
    Args args;
    ReadOptions read;    // background for images with transparency
    WriteOptions write;  // output format (else from each output's name) and JPEG quality
    bool timing = false;
    double readMs = 0, libMs = 0, writeMs = 0;
    // In a batch each image's failure is kept here for the summary instead of being printed,
    // and records printed on stdout start with the input's name.
    std::string *failure = nullptr;
    std::string label;

    int fail(const std::string &msg) const
    {
        if (failure) *failure = msg;
        else std::fprintf(stderr, "zylcv %s: %s\n", args.command.c_str(), msg.c_str());
        return 1;
    }
    // A library refusal, reported by the status name.
    int refused(const std::string &file, const char *function, ZylStatus st) const
    {
        return fail(file + ": " + function + " refused the call: " + status_name(st) + " (" +
                    status_meaning(st) + ")");
    }
    static std::string shown(const std::string &path) { return path == "-" ? "<stdin>" : path; }

    template <class F> auto timed(double &acc, F &&f)
    {
        auto t0 = Clock::now();
        auto r = f();
        acc += std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        return r;
    }
    bool load(const std::string &path, Image &img)
    {
        std::string error;
        if (!timed(readMs, [&] { return load_image(path, img, error, read); })) {
            fail(error);
            return false;
        }
        return true;
    }
    bool save(const std::string &path, const Image &img)
    {
        std::string error;
        if (!timed(writeMs, [&] { return save_image(path, img, error, write); })) {
            fail(error);
            return false;
        }
        return true;
    }
    // The library call(s) of the operation; only these count as library time.
    ZylStatus call(const std::function<ZylStatus()> &f) { return timed(libMs, f); }
    void report_timing() const
    {
        if (timing)
            std::fprintf(
                stderr,
                "zylcv %s: timing: read+decode %.3f ms, library %.3f ms, encode+write %.3f ms\n",
                args.command.c_str(), readMs, libMs, writeMs);
    }
};

// Maps a signed 16-bit derivative to a byte with 0 at 128: 128 + floor(v / scale), clamped.
inline Zyl8u view_signed(int v, int scale)
{
    int q = v >= 0 ? v / scale : -((-v + scale - 1) / scale);
    int r = 128 + q;
    return Zyl8u(r < 0 ? 0 : r > 255 ? 255 : r);
}
inline Zyl8u view_unsigned(int v, int scale)
{
    int r = v / scale;
    return Zyl8u(r > 255 ? 255 : r);
}

inline bool need_positional(Run &r, std::size_t n, const char *what)
{
    if (r.args.positional.size() != n) {
        const std::size_t got = r.args.positional.size();
        r.fail(std::string("expected ") + what + ", got " +
               (got == 0 ? std::string("no arguments")
                         : std::to_string(got) + (got == 1 ? " argument" : " arguments")) +
               " (see 'zylcv " + r.args.command + " --help')");
        return false;
    }
    return true;
}

struct Command {
    const char *name;
    const char *summary;
    const char *help;  // usage line and details, printed by COMMAND --help
    std::vector<OptionSpec> options;
    int (*run)(Run &);
    bool batch = false;  // takes IN OUT, so it can run over many inputs with --out-dir
};

// A one-channel image replaced by its k x k box mean, (sum + k*k/2) / (k*k) with replicated
// borders (zyliBlur_8u16s_C1R); false after reporting a failure.
bool box_mean(Run &r, const std::string &file, Image &plane, int k);

// The entries of the commands defined outside zylcv.cc, in the order they are listed.
std::vector<Command> more_commands();

}  // namespace zylcv_tool
