#!/bin/sh
# Generates the demo scene (tools/demo_images.cc) and runs the zylcv tool over it.
# usage: scripts/make-demo-images.sh BUILD_DIR OUT_DIR [docs]
#   BUILD_DIR  a build with tools (targets zylcv_cli and zylcv_demo_images built)
#   OUT_DIR    where the inputs and results go (created)
#   docs       write only the pictures of docs/images: scene, edges, erosion, distance map, motion
set -eu
build=$(cd "$1" && pwd)
out=$2
mode=${3:-all}
zylcv=$build/tools/zylcv
gen=$build/tools/zylcv_demo_images
[ -x "$zylcv" ] && [ -x "$gen" ] || { echo "make-demo-images: build $build has no tools (ZYLCV_BUILD_TOOLS=ON)" >&2; exit 1; }
mkdir -p "$out"
tmp=$(mktemp -d "${TMPDIR:-/tmp}/zylcv-demo-XXXXXX")
trap 'rm -rf "$tmp"' EXIT

"$gen" "$tmp" >/dev/null
run() { echo "zylcv $*" >&2; "$zylcv" "$@"; }

if [ "$mode" = docs ]; then
  cp "$tmp/scene.png" "$out/scene.png"
  run canny "$tmp/scene.png" "$out/edges.png" --low 60 --high 180
  run erode "$tmp/scene.png" "$out/erode.png" --shape ellipse --size 7x7
  run distance "$out/edges.png" "$out/distance.png" --invert --scale 4
  run motion "$out/motion.png" "$tmp"/frame*.png
  exit 0
fi

cp "$tmp/scene.png" "$tmp/scene-grey.png" "$tmp/template.png" "$tmp"/frame*.png "$out/"
cd "$out"
run convert scene.png scene.jpg --quality 90
run canny scene.jpg edges-from-jpeg.png --low 60 --high 180 --blur
run blur scene.png blur.png --size 5
run laplace scene.png laplace.png
run scharr scene.png scharr-dx.png --dx
run corners scene.png corners.png
run corners scene.png corner-eigen.png --eigen
run motion motion.png frame*.png
run accumulate background.png frame*.png --alpha 0.2
run profile scene.png --from 0,120 --to 319,120 > profile.csv
run diff scene.png scene.jpg > jpeg-diff.txt
run norm scene.png scene.jpg --kind l2 --relative >> jpeg-diff.txt
run sobel --magnitude --out-dir batch scene.png scene-grey.png template.png frame01.png
run stats scene.png > stats.txt
run sobel scene.png sobel-dx.png --dx
run sobel scene.png sobel-dy.png --dy
run sobel scene.png sobel-magnitude.png --magnitude
run canny scene.png edges.png --low 60 --high 180
run erode scene.png erode.png --shape ellipse --size 7x7
run dilate scene.png dilate.png --shape rect --size 5x5
run erode scene-grey.png erode-cross.png --shape cross --size 9x9
run pyrdown scene.png pyrdown.png
run pyrup pyrdown.png pyrdown-pyrup.png
run absdiff scene.png pyrdown-pyrup.png pyramid-residual.png
run distance edges.png distance.png --invert --scale 4
run distance edges.png distance-chess.png --invert --metric chess --scale 4
run match scene-grey.png template.png --method coeff-normed --heatmap match-heatmap.png > match.txt
run fill scene-grey.png fill-sky.png --seed 10,10 --value 255 --gradient 3,3 --8 > fill.txt
run convert scene.png scene.ppm
cat stats.txt match.txt fill.txt jpeg-diff.txt
echo "results in $out"
