/* Two generated frames of a bright square moving over a gradient: their absolute difference
 * shows where the square was and where it went. Writes frame1.pgm, frame2.pgm, absdiff.pgm. */
#include <stdio.h>

#include "zylcv.h"

enum { W = 320, H = 240, SIDE = 48 };

static void draw(Zyl8u *img, int step, int sx, int sy)
{
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            int inside = x >= sx && x < sx + SIDE && y >= sy && y < sy + SIDE;
            img[y * step + x] = inside ? 230 : (Zyl8u)((x + y) * 100 / (W + H));
        }
}

static int write_pgm(const char *path, const Zyl8u *img, int step)
{
    FILE *f = fopen(path, "wb");
    if (!f) return -1;
    fprintf(f, "P5\n%d %d\n255\n", W, H);
    for (int y = 0; y < H; ++y) fwrite(img + y * step, 1, W, f);
    return fclose(f);
}

int main(void)
{
    const ZylLibVersion *v = zylcvGetLibVersion();
    const int step = (W + 31) / 32 * 32; /* rows start on 32-byte boundaries */
    Zyl8u *a = zyliAlloc(step * H), *b = zyliAlloc(step * H), *d = zyliAlloc(step * H);
    if (!a || !b || !d) return 1;

    draw(a, step, 60, 80);
    draw(b, step, 84, 92);
    ZyliSize roi = {W, H};
    ZylStatus st = zyliAbsDiff_8u_C1R(a, step, b, step, d, step, roi);
    if (st != zylStatusOk) {
        fprintf(stderr, "zyliAbsDiff_8u_C1R failed: %d\n", st);
        return 1;
    }

    long changed = 0, sum = 0;
    int peak = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            int p = d[y * step + x];
            changed += p != 0;
            sum += p;
            if (p > peak) peak = p;
        }
    if (write_pgm("frame1.pgm", a, step) || write_pgm("frame2.pgm", b, step) ||
        write_pgm("absdiff.pgm", d, step)) {
        fprintf(stderr, "could not write the PGM files\n");
        return 1;
    }
    printf("%s %s (%s)\n", v->libraryName, v->versionText, v->targetTag);
    printf("absolute difference of two %dx%d frames: %ld pixels changed (%.1f%%), "
           "peak %d, mean %.2f\n",
           W, H, changed, 100.0 * changed / (W * H), peak, (double)sum / (W * H));
    printf("wrote frame1.pgm, frame2.pgm and absdiff.pgm\n");

    _zycvFree_((void **)&a);
    _zycvFree_((void **)&b);
    _zycvFree_((void **)&d);
    return 0;
}
