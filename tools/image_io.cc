// PNG through libpng (error callbacks turned into messages), PGM/PPM parsed and written here.
#include "image_io.h"

#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

namespace zylcv_tool {

namespace {

// Largest accepted side and pixel count: keeps every row step and buffer size of the library
// calls (32-bit byte counts) far from overflow, also after pyrup doubles both sides.
constexpr long kMaxSide = 32768;
constexpr long long kMaxPixels = 64LL << 20;

bool size_ok(long w, long h, const std::string &name, std::string &error)
{
    if (w < 1 || h < 1) {
        error =
            name + ": image has no pixels (" + std::to_string(w) + "x" + std::to_string(h) + ")";
        return false;
    }
    if (w > kMaxSide || h > kMaxSide || (long long)w * h > kMaxPixels) {
        error = name + ": image too large (" + std::to_string(w) + "x" + std::to_string(h) +
                "; at most 32768 pixels a side and 64 Mpixels)";
        return false;
    }
    return true;
}

// ---- PNG ----------------------------------------------------------------------------------

struct PngReadContext {
    const std::uint8_t *data;
    std::size_t size, pos;
    char message[256];
    std::jmp_buf jump;
};

void png_fail(png_structp png, png_const_charp msg)
{
    auto *ctx = static_cast<PngReadContext *>(png_get_error_ptr(png));
    std::snprintf(ctx->message, sizeof ctx->message, "%s", msg);
    std::longjmp(ctx->jump, 1);
}

void png_quiet(png_structp, png_const_charp) {}

void png_read_bytes(png_structp png, png_bytep out, png_size_t n)
{
    auto *ctx = static_cast<PngReadContext *>(png_get_io_ptr(png));
    if (n > ctx->size - ctx->pos) png_error(png, "truncated file (unexpected end of data)");
    std::memcpy(out, ctx->data + ctx->pos, n);
    ctx->pos += n;
}

// Bytes of compressed image data present in the file: the IDAT chunks' contents, as far as the
// file actually holds them.
std::size_t png_idat_bytes(const std::vector<std::uint8_t> &bytes)
{
    std::size_t total = 0;
    for (std::size_t pos = 8; pos + 8 <= bytes.size();) {
        const std::uint8_t *c = bytes.data() + pos;
        const std::size_t len =
            std::size_t(c[0]) << 24 | std::size_t(c[1]) << 16 | std::size_t(c[2]) << 8 | c[3];
        const std::size_t have = std::min(len, bytes.size() - pos - 8);
        if (std::memcmp(c + 4, "IDAT", 4) == 0) total += have;
        if (have < len) break;
        pos += 8 + len + 4;
    }
    return total;
}

// Deflate expands its input at most 1032 times, so image data that cannot hold the declared
// rows is found before the image is allocated.
constexpr std::size_t kDeflateMaxRatio = 1032;

// Grey+alpha or RGBA over an opaque background: each sample becomes
// (sample * alpha + background * (255 - alpha) + 127) / 255, rounded half up; grey images are laid
// over the background's luma.
Image composite(const Image &raw, const std::uint8_t background[3])
{
    const int colours = raw.channels - 1;
    Image out(raw.width, raw.height, colours);
    const int bgGrey = (77 * background[0] + 150 * background[1] + 29 * background[2] + 128) >> 8;
    for (int y = 0; y < raw.height; ++y) {
        const std::uint8_t *s = raw.row(y);
        std::uint8_t *d = out.row(y);
        for (int x = 0; x < raw.width; ++x, s += raw.channels, d += colours) {
            const int a = s[colours];
            for (int c = 0; c < colours; ++c) {
                const int bg = colours == 1 ? bgGrey : background[c];
                d[c] = std::uint8_t((s[c] * a + bg * (255 - a) + 127) / 255);
            }
        }
    }
    return out;
}

bool decode_png(const std::vector<std::uint8_t> &bytes, const std::string &name, Image &img,
                std::string &error, const std::uint8_t background[3])
{
    PngReadContext ctx{bytes.data(), bytes.size(), 0, {0}, {}};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &ctx, png_fail, png_quiet);
    if (!png) {
        error = name + ": out of memory";
        return false;
    }
    png_infop info = png_create_info_struct(png);
    // Declared before setjmp: nothing with a destructor is constructed after it, since an error
    // longjmps past this frame's destructors.
    std::vector<png_bytep> rows;
    Image raw;
    if (!info || setjmp(ctx.jump)) {
        png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
        error = name + ": corrupt PNG: " + ctx.message;
        return false;
    }
    png_set_read_fn(png, &ctx, png_read_bytes);
    png_read_info(png, info);
    png_uint_32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
    if (!size_ok(long(w), long(h), name, error)) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    const std::size_t rowBytes = png_get_rowbytes(png, info), idat = png_idat_bytes(bytes);
    if ((idat + 1) * kDeflateMaxRatio < rowBytes * h) {
        png_destroy_read_struct(&png, &info, nullptr);
        error = name + ": corrupt PNG: " + std::to_string(idat) +
                " bytes of image data cannot hold " + std::to_string(w) + "x" + std::to_string(h) +
                " pixels (truncated file?)";
        return false;
    }
    // Every colour type ends as 8-bit grey or RGB, each with or without alpha: palettes become
    // RGB, transparency chunks become alpha, low depths widen and 16-bit samples keep their high
    // byte.
    if (png_get_bit_depth(png, info) == 16) png_set_strip_16(png);
    png_set_expand(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const int channels = png_get_channels(png, info);
    raw = Image(int(w), int(h), channels);
    rows.resize(h);
    for (png_uint_32 y = 0; y < h; ++y) rows[y] = raw.row(int(y));
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    if (channels == 1 || channels == 3) img = std::move(raw);
    else img = composite(raw, background);
    return true;
}

struct PngWriteContext {
    std::vector<std::uint8_t> *out;
    char message[256];
    std::jmp_buf jump;
};

void png_write_fail(png_structp png, png_const_charp msg)
{
    auto *ctx = static_cast<PngWriteContext *>(png_get_error_ptr(png));
    std::snprintf(ctx->message, sizeof ctx->message, "%s", msg);
    std::longjmp(ctx->jump, 1);
}

void png_write_bytes(png_structp png, png_bytep data, png_size_t n)
{
    auto *ctx = static_cast<PngWriteContext *>(png_get_io_ptr(png));
    ctx->out->insert(ctx->out->end(), data, data + n);
}

void png_flush_nothing(png_structp) {}

bool encode_png(const Image &img, std::vector<std::uint8_t> &bytes, std::string &error)
{
    PngWriteContext ctx{&bytes, {0}, {}};
    std::vector<png_const_bytep> rows(std::size_t(img.height));
    for (int y = 0; y < img.height; ++y) rows[y] = img.row(y);
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, &ctx, png_write_fail, png_quiet);
    if (!png) {
        error = "out of memory";
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(ctx.jump)) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        error = std::string("PNG encoder: ") + ctx.message;
        return false;
    }
    png_set_write_fn(png, &ctx, png_write_bytes, png_flush_nothing);
    png_set_IHDR(png, info, png_uint_32(img.width), png_uint_32(img.height), 8,
                 img.channels == 1 ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_rows(png, const_cast<png_bytepp>(rows.data()), png_uint_32(img.height));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

// ---- JPEG (libjpeg-turbo) -------------------------------------------------------------------

// The smallest JPEG scan spends at least one bit on each 8x8 block of its first component, so a
// file of n bytes holds at most 512 n pixels; larger declared sizes are refused unallocated.
constexpr std::size_t kJpegMaxPixelsPerByte = 512;

struct TjHandle {
    tjhandle h;
    explicit TjHandle(tjhandle handle) : h(handle) {}
    ~TjHandle()
    {
        if (h) tjDestroy(h);
    }
    TjHandle(const TjHandle &) = delete;
    TjHandle &operator=(const TjHandle &) = delete;
};

bool decode_jpeg(const std::vector<std::uint8_t> &bytes, const std::string &name, Image &img,
                 std::string &error)
{
    TjHandle tj(tjInitDecompress());
    if (!tj.h) {
        error = name + ": out of memory";
        return false;
    }
    int w = 0, h = 0, subsamp = 0, colourspace = 0;
    auto *data = const_cast<unsigned char *>(bytes.data());
    const unsigned long size = static_cast<unsigned long>(bytes.size());
    if (tjDecompressHeader3(tj.h, data, size, &w, &h, &subsamp, &colourspace) != 0) {
        error = name + ": corrupt JPEG: " + tjGetErrorStr2(tj.h);
        return false;
    }
    if (!size_ok(w, h, name, error)) return false;
    if (std::size_t(w) * std::size_t(h) > kJpegMaxPixelsPerByte * bytes.size()) {
        error = name + ": corrupt JPEG: " + std::to_string(bytes.size()) + " bytes cannot hold " +
                std::to_string(w) + "x" + std::to_string(h) + " pixels (truncated file?)";
        return false;
    }
    // Grey stays grey; CMYK (Adobe's inverted form, as libjpeg delivers it) becomes RGB as
    // C * K / 255 per channel; every other colour space is decoded to RGB by the codec.
    const bool grey = colourspace == TJCS_GRAY,
               cmyk = colourspace == TJCS_CMYK || colourspace == TJCS_YCCK;
    Image raw(w, h, grey ? 1 : cmyk ? 4 : 3);
    const int format = grey ? TJPF_GRAY : cmyk ? TJPF_CMYK : TJPF_RGB;
    if (tjDecompress2(tj.h, data, size, raw.data(), w, raw.step, h, format, TJFLAG_STOPONWARNING) !=
        0) {
        error = name + ": corrupt JPEG: " + tjGetErrorStr2(tj.h);
        return false;
    }
    if (!cmyk) {
        img = std::move(raw);
        return true;
    }
    img = Image(w, h, 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::uint8_t *s = raw.row(y) + 4 * x;
            for (int c = 0; c < 3; ++c)
                img.row(y)[3 * x + c] = std::uint8_t((s[c] * s[3] + 127) / 255);
        }
    return true;
}

bool encode_jpeg(const Image &img, int quality, std::vector<std::uint8_t> &bytes,
                 std::string &error)
{
    TjHandle tj(tjInitCompress());
    if (!tj.h) {
        error = "out of memory";
        return false;
    }
    unsigned char *out = nullptr;
    unsigned long size = 0;
    const bool grey = img.channels == 1;
    if (tjCompress2(tj.h, img.data(), img.width, img.step, img.height, grey ? TJPF_GRAY : TJPF_RGB,
                    &out, &size, grey ? TJSAMP_GRAY : TJSAMP_420, quality,
                    TJFLAG_ACCURATEDCT) != 0) {
        error = std::string("JPEG encoder: ") + tjGetErrorStr2(tj.h);
        tjFree(out);
        return false;
    }
    bytes.assign(out, out + size);
    tjFree(out);
    return true;
}

// ---- PGM / PPM ----------------------------------------------------------------------------

struct PnmCursor {
    const std::vector<std::uint8_t> &b;
    std::size_t pos = 0;
    bool space(std::size_t i) const
    {
        return b[i] == ' ' || b[i] == '\t' || b[i] == '\n' || b[i] == '\r' || b[i] == '\v' ||
               b[i] == '\f';
    }
    // Skips whitespace and '#' comments, then reads a decimal number; false at the end of data
    // or on anything else.
    bool number(long &v)
    {
        for (;;) {
            while (pos < b.size() && space(pos)) ++pos;
            if (pos < b.size() && b[pos] == '#') {
                while (pos < b.size() && b[pos] != '\n') ++pos;
                continue;
            }
            break;
        }
        if (pos >= b.size() || b[pos] < '0' || b[pos] > '9') return false;
        v = 0;
        while (pos < b.size() && b[pos] >= '0' && b[pos] <= '9') {
            v = v * 10 + (b[pos++] - '0');
            if (v > 1000000000L) return false;
        }
        return true;
    }
};

bool decode_pnm(const std::vector<std::uint8_t> &bytes, const std::string &name, Image &img,
                std::string &error)
{
    char kind = char(bytes[1]);
    const char *what = (kind == '2' || kind == '5') ? "PGM" : "PPM";
    if (kind != '2' && kind != '3' && kind != '5' && kind != '6') {
        error = name + ": unsupported PNM type P" + std::string(1, kind) +
                " (only P2, P3, P5 and P6 are read)";
        return false;
    }
    PnmCursor cur{bytes, 2};
    long w, h, maxval;
    if (!cur.number(w) || !cur.number(h) || !cur.number(maxval)) {
        error = name + ": corrupt " + what + " header";
        return false;
    }
    if (maxval < 1 || maxval > 65535) {
        error =
            name + ": corrupt " + what + " header (maximum value " + std::to_string(maxval) + ")";
        return false;
    }
    if (!size_ok(w, h, name, error)) return false;
    int channels = (kind == '3' || kind == '6') ? 3 : 1;
    const std::size_t rowBytes = std::size_t(w) * channels, samples = rowBytes * std::size_t(h);
    // The data must be there before the image is allocated: one byte a sample in binary files,
    // at least a digit and a separator a sample (but the last) in text files.
    {
        const std::size_t have = bytes.size() - std::min(cur.pos, bytes.size());
        const bool binary = kind == '5' || kind == '6';
        const std::size_t need = binary ? samples * (maxval > 255 ? 2 : 1) + 1 : 2 * samples - 1;
        if (have < need) {
            error = name + ": truncated " + what + " (" + std::to_string(w) + "x" +
                    std::to_string(h) + " pixels declared, " + std::to_string(have) +
                    " bytes of data found)";
            return false;
        }
    }
    img = Image(int(w), int(h), channels);
    // Samples of up to 8 bits scale to 0..255 (rounded); wider ones scale to 0..65535 and keep
    // their high byte, as 16-bit PNG samples do.
    auto scale = [maxval](long v) {
        if (maxval <= 255) return std::uint8_t(maxval == 255 ? v : (v * 255 + maxval / 2) / maxval);
        return std::uint8_t((maxval == 65535 ? v : (v * 65535 + maxval / 2) / maxval) >> 8);
    };
    const std::size_t sampleBytes = maxval > 255 ? 2 : 1;
    if (kind == '5' || kind == '6') {
        if (cur.pos >= bytes.size() || !cur.space(cur.pos)) {
            error = name + ": corrupt " + what + " header";
            return false;
        }
        ++cur.pos;  // exactly one whitespace byte before binary data
        for (long y = 0; y < h; ++y) {
            const std::uint8_t *src =
                bytes.data() + cur.pos + std::size_t(y) * rowBytes * sampleBytes;
            std::uint8_t *dst = img.row(int(y));
            for (std::size_t i = 0; i < rowBytes; ++i) {
                const long v = sampleBytes == 2 ? long(src[2 * i]) << 8 | src[2 * i + 1] : src[i];
                if (v > maxval) {
                    error = name + ": corrupt " + what + " (sample above the maximum value)";
                    return false;
                }
                dst[i] = scale(v);
            }
        }
        return true;
    }
    for (long y = 0; y < h; ++y)
        for (std::size_t i = 0; i < rowBytes; ++i) {
            long v;
            if (!cur.number(v)) {
                error = name + ": truncated or corrupt " + std::string(what) + " pixel data";
                return false;
            }
            if (v > maxval) {
                error =
                    name + ": corrupt " + std::string(what) + " (sample above the maximum value)";
                return false;
            }
            img.row(int(y))[i] = scale(v);
        }
    return true;
}

void encode_pnm(const Image &img, std::vector<std::uint8_t> &bytes)
{
    char header[64];
    int n = std::snprintf(header, sizeof header, "P%c\n%d %d\n255\n", img.channels == 1 ? '5' : '6',
                          img.width, img.height);
    bytes.assign(header, header + n);
    const std::size_t rowBytes = std::size_t(img.width) * img.channels;
    bytes.reserve(bytes.size() + rowBytes * img.height);
    for (int y = 0; y < img.height; ++y)
        bytes.insert(bytes.end(), img.row(y), img.row(y) + rowBytes);
}

}  // namespace

Image::Image(int w, int h, int c)
    : width(w), height(h), channels(c), step((w * c + 31) / 32 * 32),
      pixels(std::size_t(step) * h + 32, 0)
{
}

bool read_file(const std::string &path, std::vector<std::uint8_t> &bytes, std::string &error)
{
    const bool stdio = path == "-";
    std::FILE *f = stdio ? stdin : std::fopen(path.c_str(), "rb");
    const std::string name = stdio ? "<stdin>" : path;
    if (!f) {
        error = name + ": cannot open: " + std::strerror(errno);
        return false;
    }
    bytes.clear();
    std::uint8_t chunk[65536];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + n);
    bool failed = std::ferror(f) != 0;
    int saved = errno;
    if (!stdio) std::fclose(f);
    if (failed) {
        error = name + ": cannot read: " + std::strerror(saved);
        return false;
    }
    return true;
}

namespace {

// Writes all bytes to an open descriptor; false with errno set on failure.
bool write_all(int fd, const std::vector<std::uint8_t> &bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        done += std::size_t(n);
    }
    return true;
}

// The file a path names: symbolic links followed to the end, even to a file that does not exist
// yet; the path itself when it is no link.
std::string link_target(const std::string &path)
{
    std::string p = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return p;
        std::vector<char> buf(std::size_t(st.st_size > 0 ? st.st_size : 255) + 2);
        const ssize_t n = ::readlink(p.c_str(), buf.data(), buf.size() - 1);
        if (n < 0) return p;
        const std::string to(buf.data(), std::size_t(n));
        const std::size_t slash = p.rfind('/');
        p = (to[0] == '/' || slash == std::string::npos) ? to : p.substr(0, slash + 1) + to;
    }
    return p;
}

// The process's file-creation mask, read without changing it (other threads may be creating
// files); from /proc where it is shown, else set and restored once.
mode_t process_umask()
{
    static const mode_t mask = [] {
        if (std::FILE *f = std::fopen("/proc/self/status", "r")) {
            char line[256];
            unsigned m = 0;
            bool found = false;
            while (!found && std::fgets(line, sizeof line, f))
                found = std::sscanf(line, "Umask: %o", &m) == 1;
            std::fclose(f);
            if (found) return mode_t(m);
        }
        const mode_t m = ::umask(0);
        ::umask(m);
        return m;
    }();
    return mask;
}

}  // namespace

bool write_file(const std::string &path, const std::vector<std::uint8_t> &bytes, std::string &error)
{
    if (path == "-") {
        const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size() &&
                        std::fflush(stdout) == 0;
        if (!ok) error = std::string("<stdout>: cannot write: ") + std::strerror(errno);
        return ok;
    }
    // Devices, pipes and other files that are not regular are written in place and never
    // removed. A regular file (or a new one) is written to a temporary file beside it and renamed
    // over it only once every byte is on disk, so a failed write leaves the old file as it was;
    // a symbolic link keeps pointing at the file it names, which is replaced.
    const std::string target = link_target(path);
    struct stat st;
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        const int fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd < 0) {
            error = path + ": cannot create: " + std::strerror(errno);
            return false;
        }
        const bool ok = write_all(fd, bytes);
        const int saved = errno;
        ::close(fd);
        if (!ok) error = path + ": cannot write: " + std::strerror(saved);
        return ok;
    }
    const std::size_t slash = target.rfind('/');
    std::string temp = (slash == std::string::npos ? std::string() : target.substr(0, slash + 1)) +
                       ".zylcv-" + target.substr(slash + 1) + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        error = path + ": cannot create: " + std::strerror(errno);
        return false;
    }
    // The new file gets the old one's permissions, or those a plain creation would give.
    mode_t mode;
    if (exists) mode = st.st_mode & 07777;
    else mode = 0666 & ~process_umask();
    bool ok = ::fchmod(fd, mode) == 0 && write_all(fd, bytes) && ::fsync(fd) == 0;
    int saved = errno;
    ok = ::close(fd) == 0 && ok;
    if (ok && ::rename(temp.c_str(), target.c_str()) != 0) ok = false, saved = errno;
    if (!ok) {
        ::unlink(temp.c_str());
        error = path + ": cannot write: " + std::strerror(saved);
        return false;
    }
    return true;
}

bool decode_image(const std::vector<std::uint8_t> &bytes, const std::string &name, Image &img,
                  std::string &error, const ReadOptions &options)
{
    static const std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (bytes.empty()) {
        error = name + ": empty file";
        return false;
    }
    if (bytes.size() >= 8 && std::memcmp(bytes.data(), kPngSignature, 8) == 0)
        return decode_png(bytes, name, img, error, options.background);
    if (bytes.size() >= 2 && bytes[0] == 'P' && bytes[1] >= '1' && bytes[1] <= '7')
        return decode_pnm(bytes, name, img, error);
    if (bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF)
        return decode_jpeg(bytes, name, img, error);
    if (bytes.size() < 8 && std::memcmp(bytes.data(), kPngSignature, bytes.size()) == 0) {
        error = name + ": corrupt PNG: truncated file (unexpected end of data)";
        return false;
    }
    error = name + ": not a PNG, JPEG, PGM or PPM image";
    return false;
}

bool encode_image(const Image &img, const WriteOptions &options, std::vector<std::uint8_t> &bytes,
                  std::string &error)
{
    bytes.clear();
    switch (options.format) {
    case Format::Pgm:
        encode_pnm(to_grey(img), bytes);
        return true;
    case Format::Ppm:
        encode_pnm(to_rgb(img), bytes);
        return true;
    case Format::Pnm:
        encode_pnm(img, bytes);
        return true;
    case Format::Jpeg:
        return encode_jpeg(img, options.quality, bytes, error);
    case Format::Png:
        break;
    }
    return encode_png(img, bytes, error);
}

bool parse_format(const std::string &name, Format &format)
{
    static const struct {
        const char *name;
        Format format;
    } names[] = {{"png", Format::Png}, {"jpg", Format::Jpeg}, {"jpeg", Format::Jpeg},
                 {"pgm", Format::Pgm}, {"ppm", Format::Ppm},  {"pnm", Format::Pnm}};
    std::string lower = name;
    for (char &c : lower) c = char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    for (const auto &n : names)
        if (lower == n.name) {
            format = n.format;
            return true;
        }
    return false;
}

bool format_for_path(const std::string &path, Format &format, std::string &error)
{
    if (path == "-") {
        format = Format::Png;
        return true;
    }
    const std::size_t dot = path.rfind('.'), slash = path.rfind('/');
    const std::string ext = dot == std::string::npos || (slash != std::string::npos && dot < slash)
                                ? std::string()
                                : path.substr(dot + 1);
    if (!ext.empty() && parse_format(ext, format)) return true;
    error = path +
            ": cannot tell the format from the name (use .png, .jpg, .jpeg, .pgm, .ppm or .pnm, "
            "or --format)";
    return false;
}

bool load_image(const std::string &path, Image &img, std::string &error, const ReadOptions &options)
{
    std::vector<std::uint8_t> bytes;
    if (!read_file(path, bytes, error)) return false;
    return decode_image(bytes, path == "-" ? "<stdin>" : path, img, error, options);
}

bool save_image(const std::string &path, const Image &img, std::string &error, WriteOptions options)
{
    if (!options.formatGiven && !format_for_path(path, options.format, error)) return false;
    std::vector<std::uint8_t> bytes;
    if (!encode_image(img, options, bytes, error)) {
        error = (path == "-" ? "<stdout>" : path) + ": " + error;
        return false;
    }
    return write_file(path, bytes, error);
}

Image to_rgb(const Image &img)
{
    if (img.channels == 3) return img;
    Image c(img.width, img.height, 3);
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x)
            c.row(y)[3 * x] = c.row(y)[3 * x + 1] = c.row(y)[3 * x + 2] = img.row(y)[x];
    return c;
}

Image to_grey(const Image &img)
{
    if (img.channels == 1) return img;
    Image g(img.width, img.height, 1);
    for (int y = 0; y < img.height; ++y) {
        const std::uint8_t *s = img.row(y);
        std::uint8_t *d = g.row(y);
        for (int x = 0; x < img.width; ++x)
            d[x] =
                std::uint8_t((77 * s[3 * x] + 150 * s[3 * x + 1] + 29 * s[3 * x + 2] + 128) >> 8);
    }
    return g;
}

}  // namespace zylcv_tool
