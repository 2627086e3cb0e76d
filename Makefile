# Common commands; each installs missing packages first.
BUILD ?= build
.PHONY: deps test demo docs-images bench clean

deps:
	./scripts/install-deps.sh

test: deps
	./scripts/test-all.sh $(BUILD)

# libFuzzer targets of fuzz/ (clang): each runs FUZZ_SECONDS over a copy of its corpus, one at
# a time; fails on any finding (inputs in $(BUILD)/fuzz-findings). FUZZ_TARGETS="morph pyramid" for some.
FUZZ_SECONDS ?= 60
FUZZ_TARGETS ?=
.PHONY: fuzz
fuzz: deps
	FUZZ_SECONDS=$(FUZZ_SECONDS) ./scripts/fuzz.sh $(BUILD) $(FUZZ_TARGETS)

# Images larger than 2^32 bytes through whole-image functions (x86_64; about a minute; not part
# of `make test`).
.PHONY: test-large
test-large: deps
	cmake -S . -B $(BUILD)/x86_64 -G Ninja -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD)/x86_64 --target test_large
	$(BUILD)/x86_64/tests/test_large

# The zylcv tool over the generated demo scene (results in demo-out/), then the C examples.
demo: deps
	cmake -S . -B $(BUILD)/demo -G Ninja -DCMAKE_BUILD_TYPE=Release -DZYLCV_BUILD_TESTS=OFF -DZYLCV_BUILD_TOOLS=ON
	cmake --build $(BUILD)/demo
	./scripts/make-demo-images.sh $(BUILD)/demo demo-out
	cd demo-out && $(abspath $(BUILD))/demo/examples/absdiff_demo
	if [ -x $(BUILD)/demo/examples/edges ]; then \
	  $(BUILD)/demo/tools/zylcv convert demo-out/scene.png demo-out/scene-grey.pgm --grey && \
	  $(BUILD)/demo/examples/edges demo-out/scene-grey.pgm demo-out/edges-example.pgm; fi

# Regenerates the pictures of docs/images (committed; shown in the README).
docs-images: deps
	cmake -S . -B $(BUILD)/demo -G Ninja -DCMAKE_BUILD_TYPE=Release -DZYLCV_BUILD_TESTS=OFF -DZYLCV_BUILD_TOOLS=ON
	cmake --build $(BUILD)/demo --target zylcv_cli zylcv_demo_images
	./scripts/make-demo-images.sh $(BUILD)/demo docs/images docs

# All benchmark programs, or one family: make bench BENCH=morph
BENCH ?= *
bench: deps
	cmake -S . -B $(BUILD)/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DZYLCV_BUILD_TESTS=OFF -DZYLCV_BUILD_BENCH=ON
	cmake --build $(BUILD)/bench
	for b in $(BUILD)/bench/bench/bench_$(BENCH); do echo "== $$b"; $$b --benchmark_counters_tabular=true || exit 1; done

clean:
	rm -rf $(BUILD)
