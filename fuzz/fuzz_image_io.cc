// The zylcv tool's image decoder (PNG, JPEG, PGM/PPM chosen by the leading bytes) on arbitrary
// bytes. Decoding either fails with a message or gives a consistent image (size, channels, rows
// inside the pixel array); a decoded image written back as PNG and as PNM decodes to the same
// pixels. Run with -malloc_limit_mb so that a small file which makes the reader allocate a
// large image shows up as a finding.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "image_io.h"

using zylcv_tool::Image;

namespace {

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "FINDING: %s\n", what);
    std::abort();
}

bool same_pixels(const Image &a, const Image &b)
{
    if (a.width != b.width || a.height != b.height || a.channels != b.channels) return false;
    for (int y = 0; y < a.height; ++y)
        if (std::memcmp(a.row(y), b.row(y), std::size_t(a.width) * a.channels) != 0) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::vector<std::uint8_t> bytes(data, data + size);
    Image img;
    std::string error;
    if (!zylcv_tool::decode_image(bytes, "fuzz", img, error)) {
        if (error.empty()) fail("decoding failed without a message");
        return 0;
    }
    if (img.width < 1 || img.height < 1 || (img.channels != 1 && img.channels != 3) ||
        img.step < img.width * img.channels ||
        img.pixels.size() <
            std::size_t(img.step) * (img.height - 1) + std::size_t(img.width) * img.channels)
        fail("decoded image is inconsistent");
    // Every row is read, so that a short pixel array shows up under AddressSanitizer.
    unsigned sum = 0;
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width * img.channels; ++x) sum += img.row(y)[x];
    (void)sum;

    // Lossless round trips (large images skipped to keep the runs fast).
    if (std::size_t(img.width) * img.height > (1u << 16)) return 0;
    for (zylcv_tool::Format f : {zylcv_tool::Format::Png, zylcv_tool::Format::Pnm}) {
        zylcv_tool::WriteOptions opt;
        opt.format = f;
        opt.formatGiven = true;
        std::vector<std::uint8_t> encoded;
        if (!zylcv_tool::encode_image(img, opt, encoded, error))
            fail("a decoded image could not be encoded");
        Image back;
        if (!zylcv_tool::decode_image(encoded, "round trip", back, error))
            fail("an encoded image could not be decoded");
        if (!same_pixels(img, back)) fail("an image written and read back has other pixels");
    }
    return 0;
}
