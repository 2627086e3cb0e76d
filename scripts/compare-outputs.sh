#!/bin/sh
# Runs two builds of the zylcv tool over the same inputs, every command with a spread of options,
# and compares what they write, byte for byte: for checking that a change inside the library
# leaves every result as it was (build the old tree's tool beside the new one).
# usage: scripts/compare-outputs.sh OLD_ZYLCV NEW_ZYLCV
[ -x "$1" ] && [ -x "$2" ] || { echo "usage: $0 OLD_ZYLCV NEW_ZYLCV" >&2; exit 2; }
old=$(realpath "$1") new=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Inputs: smooth and noisy grey and colour images of odd sizes, written as PGM/PPM.
/usr/bin/python3 - "$work" <<'PY'
import sys, math, random
out = sys.argv[1]
rng = random.Random(7)
def save(name, w, h, px, channels=1):
    magic = b'P5' if channels == 1 else b'P6'
    data = bytes(max(0, min(255, int(px(x, y, c)))) for y in range(h) for x in range(w) for c in range(channels))
    with open(f'{out}/{name}', 'wb') as f:
        f.write(magic + b'\n%d %d\n255\n' % (w, h) + data)
def smooth(x, y, c=0):
    return 128 + 90 * math.sin(x / 23.0) * math.cos(y / 17.0) + rng.randint(-3, 3)
for i, (w, h) in enumerate([(641, 479), (97, 61), (1283, 37), (33, 257)]):
    save(f'smooth{i}.pgm', w, h, smooth)
    save(f'noise{i}.pgm', w, h, lambda x, y, c: rng.randint(0, 255))
    save(f'colour{i}.ppm', w, h, lambda x, y, c: rng.randint(0, 255), 3)
    save(f'sparse{i}.pgm', w, h, lambda x, y, c: 0 if rng.random() < 0.02 else 255)
    save(f'tpl{i}.pgm', 13, 11, lambda x, y, c: smooth(x + 7, y + 5))
PY

count=0 failed=0
# run ARGS...: runs both tools with ARGS (OUT standing for the output file) and compares
# standard output and the output file.
run() {
  count=$((count + 1))
  a=$(echo "$*" | sed "s|OUT|$work/old.pnm|g") b=$(echo "$*" | sed "s|OUT|$work/new.pnm|g")
  rm -f "$work/old.pnm" "$work/new.pnm"
  (cd "$work" && $old $a >old.txt 2>&1; echo "status $?" >>old.txt)
  (cd "$work" && $new $b >new.txt 2>&1; echo "status $?" >>new.txt)
  same=yes
  cmp -s "$work/old.txt" "$work/new.txt" || same=no
  if [ -f "$work/old.pnm" ] || [ -f "$work/new.pnm" ]; then
    cmp -s "$work/old.pnm" "$work/new.pnm" || same=no
  fi
  if [ $same = no ]; then
    echo "DIFFERENT: zylcv $*"
    failed=$((failed + 1))
  fi
}

for i in 0 1 2 3; do
  for img in smooth$i.pgm noise$i.pgm colour$i.ppm sparse$i.pgm; do
    run absdiff $img noise$i.pgm OUT
    for o in --dx --dy --magnitude; do run sobel $img OUT $o; done
    run scharr $img OUT --dx; run scharr $img OUT --dy
    run canny $img OUT; run canny $img OUT --low 0 --high 40 --blur
    for shape in rect cross ellipse; do
      for size in 3x3 5x3 1x7 15x15; do
        run erode $img OUT --shape $shape --size $size
        run dilate $img OUT --shape $shape --size $size
      done
    done
    run pyrdown $img OUT; run pyrup $img OUT
    for m in sqdiff sqdiff-normed corr corr-normed coeff coeff-normed; do
      run match $img tpl$i.pgm --method $m --top 3 --heatmap OUT
    done
    run distance $img OUT --mask 5; run distance $img OUT --mask 3 --metric l1
    run distance $img OUT --mask 3 --metric chess --scale 4
    run distance $img OUT --mask 3 --metric l2 --invert
    run fill $img OUT --seed 3,3 --value 7; run fill $img OUT --seed 3,3 --value 7 --8
    run fill $img OUT --seed 20,20 --value 255 --gradient 2,3
    run fill $img OUT --seed 20,20 --value 255 --gradient 4,1 --8
    run stats $img --json
    for k in 3 5 7; do run blur $img OUT --size $k; run laplace $img OUT --size $k; done
    for a in 3 5 7; do run corners $img OUT --aperture $a --block 5; done
    run corners $img OUT --eigen
    run accumulate OUT $img noise$i.pgm $img; run accumulate OUT $img noise$i.pgm --alpha 0.3
    run motion OUT $img noise$i.pgm $img --threshold 10
    run profile $img --from 0,0 --to 30,20
    for k in inf l1 l2; do
      run norm $img --kind $k; run norm $img noise$i.pgm --kind $k; run norm $img noise$i.pgm --kind $k --relative
    done
    run diff $img noise$i.pgm
  done
done
echo "$count runs, $failed with different results"
[ "$failed" -eq 0 ]
