// Reading and writing 8-bit images for the zylcv command-line tool: PNG through libpng, binary
// and ASCII PGM/PPM by hand. Every failure comes back as a one-line message naming the file and
// the problem; nothing here exits or throws.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zylcv_tool {

// An interleaved 8-bit image with 1 (grey) or 3 (RGB) channels. Rows start on 32-byte
// boundaries inside `pixels` (so that the library's aligned paths are taken) and are `step`
// bytes apart.
struct Image {
    int width = 0, height = 0, channels = 0, step = 0;
    std::vector<std::uint8_t> pixels;

    Image() = default;
    Image(int w, int h, int c);
    std::uint8_t *row(int y) { return pixels.data() + std::size_t(y) * step; }
    const std::uint8_t *row(int y) const { return pixels.data() + std::size_t(y) * step; }
    std::uint8_t *data() { return pixels.data(); }
    const std::uint8_t *data() const { return pixels.data(); }
};

// Output formats: PGM is always grey and PPM always RGB (converted as needed); PNM and PNG keep
// the image's channels; JPEG is grey or RGB (4:2:0) at the given quality.
enum class Format { Png, Jpeg, Pgm, Ppm, Pnm };

struct WriteOptions {
    Format format = Format::Png;
    bool formatGiven = false;  // false: the format comes from the output name
    int quality = 90;          // JPEG quality, 1..100
};

// Whole files: "-" is standard input or output. On failure the functions return false and set
// `error` to "PATH: problem".
bool read_file(const std::string &path, std::vector<std::uint8_t> &bytes, std::string &error);
bool write_file(const std::string &path, const std::vector<std::uint8_t> &bytes,
                std::string &error);

// How images with transparency are read: laid over an opaque background colour (RGB).
struct ReadOptions {
    std::uint8_t background[3] = {255, 255, 255};
};

// Decodes JPEG (grey, colour and CMYK through libjpeg-turbo), PNG (every colour type and depth: palettes and low depths are expanded, 16-bit
// samples keep their high byte; alpha and palette transparency are composited over the
// background, grey images over its luma) or PGM/PPM (P2, P3, P5, P6; maximum values above 255
// scale to 16 bits and keep the high byte), chosen by the leading bytes. `name` is used in
// messages only.
bool decode_image(const std::vector<std::uint8_t> &bytes, const std::string &name, Image &img,
                  std::string &error, const ReadOptions &options = {});
bool encode_image(const Image &img, const WriteOptions &options, std::vector<std::uint8_t> &bytes,
                  std::string &error);

// A format name (png, jpg, jpeg, pgm, ppm, pnm; any case).
bool parse_format(const std::string &name, Format &format);
// The format an output name's extension names (any case); "-" is PNG; any other name fails with
// a message.
bool format_for_path(const std::string &path, Format &format, std::string &error);

bool load_image(const std::string &path, Image &img, std::string &error,
                const ReadOptions &options = {});
bool save_image(const std::string &path, const Image &img, std::string &error,
                WriteOptions options = {});

// Grey replicated into three channels; RGB images are returned unchanged.
Image to_rgb(const Image &img);

// ITU-R BT.601 luma in integers: (77 R + 150 G + 29 B + 128) >> 8. Grey images are returned
// unchanged.
Image to_grey(const Image &img);

}  // namespace zylcv_tool
