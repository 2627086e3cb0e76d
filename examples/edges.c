/* Canny edges of an 8-bit picture: reads a binary PGM (argv[1]) or draws one, takes its Sobel
 * 3x3 derivatives, runs the Canny detector in a work buffer of the size the library asks for,
 * and writes the edge map as a PGM (argv[2], default edges.pgm).
 *   usage: edges [input.pgm|-] [edges.pgm] */
#include <stdio.h>
#include <stdlib.h>

#include "zylcv.h"

static const float LOW = 60.0f, HIGH = 180.0f; /* on |dx| + |dy| of the Sobel 3x3 derivatives */

/* Skips blanks and '#' comments of a PGM header, then reads one decimal number. */
static int pgm_number(FILE *f, int *v)
{
    int c = fgetc(f);
    while (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '#') {
        if (c == '#')
            while (c != '\n' && c != EOF) c = fgetc(f);
        c = fgetc(f);
    }
    if (c < '0' || c > '9') return -1;
    *v = 0;
    while (c >= '0' && c <= '9') {
        if (*v > 100000) return -1;
        *v = *v * 10 + (c - '0');
        c = fgetc(f);
    }
    return 0; /* the single blank after the last header number is consumed here */
}

/* A binary 8-bit PGM into a newly allocated image with rows of `*step` bytes. */
static Zyl8u *read_pgm(const char *path, int *w, int *h, int *step)
{
    FILE *f = fopen(path, "rb");
    int maxval, y;
    Zyl8u *img = NULL;
    if (!f) return NULL;
    if (fgetc(f) != 'P' || fgetc(f) != '5' || pgm_number(f, w) || pgm_number(f, h) ||
        pgm_number(f, &maxval) || *w < 1 || *h < 1 || maxval < 1 || maxval > 255) {
        fclose(f);
        return NULL;
    }
    *step = (*w + 31) / 32 * 32;
    img = zyliAlloc(*step * *h);
    for (y = 0; img && y < *h; ++y)
        if (fread(img + y * *step, 1, (size_t)*w, f) != (size_t)*w) {
            _zycvFree_((void **)&img);
        }
    fclose(f);
    return img;
}

/* A test picture: a gradient background with a bright disc, a dark square and a thin bar, plus
 * a little noise as a camera gives. (On a perfectly sharp step the two equal responses on
 * either side of the edge tie, and ties are suppressed.) */
static Zyl8u *draw(int w, int h, int step)
{
    Zyl8u *img = zyliAlloc(step * h);
    unsigned noise = 12345u;
    int x, y;
    if (!img) return NULL;
    for (y = 0; y < h; ++y)
        for (x = 0; x < w; ++x) {
            int dx = x - w / 3, dy = y - h / 2, v = 40 + (x + y) * 60 / (w + h);
            if (dx * dx + dy * dy < (h / 4) * (h / 4)) v = 220;
            if (x > w / 2 && x < w / 2 + h / 3 && y > h / 5 && y < h / 5 + h / 3) v = 10;
            if (y > 4 * h / 5 && y < 4 * h / 5 + 6 && x > w / 8 && x < 7 * w / 8) v = 160;
            noise = noise * 1103515245u + 12345u;
            v += (int)((noise >> 16) % 7) - 3;
            img[y * step + x] = (Zyl8u)(v < 0 ? 0 : v > 255 ? 255 : v);
        }
    return img;
}

static int write_pgm(const char *path, const Zyl8u *img, int w, int h, int step)
{
    int y;
    FILE *f = fopen(path, "wb");
    if (!f) return -1;
    fprintf(f, "P5\n%d %d\n255\n", w, h);
    for (y = 0; y < h; ++y) fwrite(img + y * step, 1, (size_t)w, f);
    return fclose(f);
}

int main(int argc, char **argv)
{
    const char *in = argc > 1 && argv[1][0] != '-' ? argv[1] : NULL;
    const char *out = argc > 2 ? argv[2] : "edges.pgm";
    int w = 320, h = 240, step = 320, dstep, y, x, status = 1;
    long edges = 0;
    Zyl32s bufSize = 0;
    Zyl8u *img, *dst = NULL, *buffer = NULL;
    Zyl16s *dx = NULL, *dy = NULL;
    ZyliSize roi;
    ZylStatus st;

    img = in ? read_pgm(in, &w, &h, &step) : draw(w, h, step);
    if (!img) {
        fprintf(stderr, "edges: cannot read %s (a binary 8-bit PGM is expected)\n", in);
        return 1;
    }
    roi.width = w;
    roi.height = h;
    dstep = (2 * w + 31) / 32 * 32; /* 16-bit rows on 32-byte boundaries */
    dx = zyliAlloc(dstep * h);
    dy = zyliAlloc(dstep * h);
    dst = zyliAlloc(step * h);
    if (!dx || !dy || !dst) goto done;

    /* The derivatives, then the work-buffer size, the buffer and the edge map. */
    if ((st = zyliSobel3x3_Dx_8u16s_C1R(img, step, dx, dstep, roi)) != zylStatusOk ||
        (st = zyliSobel3x3_Dy_8u16s_C1R(img, step, dy, dstep, 0, roi)) != zylStatusOk ||
        (st = zyliCannyGetSize(roi, &bufSize)) != zylStatusOk) {
        fprintf(stderr, "edges: derivatives or buffer query failed: %d\n", st);
        goto done;
    }
    buffer = zyliAlloc(bufSize);
    if (!buffer) goto done;
    st = zyliCanny_16s8u_C1R(dx, dstep, dy, dstep, dst, step, roi, LOW, HIGH, buffer);
    if (st != zylStatusOk) {
        fprintf(stderr, "edges: zyliCanny_16s8u_C1R failed: %d\n", st);
        goto done;
    }
    for (y = 0; y < h; ++y)
        for (x = 0; x < w; ++x) edges += dst[y * step + x] != 0;
    if (write_pgm(out, dst, w, h, step)) {
        fprintf(stderr, "edges: cannot write %s\n", out);
        goto done;
    }
    printf("%s %dx%d: %ld edge pixels (%.2f%%), thresholds %.0f/%.0f, buffer %d bytes -> %s\n",
           in ? in : "generated picture", w, h, edges, 100.0 * edges / ((double)w * h), LOW, HIGH,
           (int)bufSize, out);
    status = 0;

done:
    _zycvFree_((void **)&img);
    _zycvFree_((void **)&dx);
    _zycvFree_((void **)&dy);
    _zycvFree_((void **)&dst);
    _zycvFree_((void **)&buffer);
    return status;
}
