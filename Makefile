# Common commands; each installs missing packages first.
BUILD ?= build
.PHONY: deps test demo bench clean

deps:
	./scripts/install-deps.sh

test: deps
	./scripts/test-all.sh $(BUILD)

demo: deps
	cmake -S . -B $(BUILD)/demo -G Ninja -DCMAKE_BUILD_TYPE=Release -DZYLCV_BUILD_TESTS=OFF
	cmake --build $(BUILD)/demo --target absdiff_demo
	cd $(BUILD)/demo && ./examples/absdiff_demo

bench: deps
	cmake -S . -B $(BUILD)/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DZYLCV_BUILD_TESTS=OFF -DZYLCV_BUILD_BENCH=ON
	cmake --build $(BUILD)/bench
	$(BUILD)/bench/bench/bench_absdiff --benchmark_counters_tabular=true

clean:
	rm -rf $(BUILD)
