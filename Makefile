# Quick start: `make run` and `make test` on a fresh Debian machine as root.
BUILD      ?= build
BUILD_ASAN ?= build-asan
BUILD_BENCH ?= build-bench
BUILD_FUZZ ?= build-fuzz
FUZZ_SECONDS ?= 60
JOBS       ?= $(shell nproc)

CMAKE_FLAGS ?= -G Ninja -DPGM_WERROR=ON

.PHONY: all deps configure build tool run test test-normal test-asan bench fuzz install clean

all: build

deps:
	@bash scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# The library and pgmtool only, without the test suite.
tool: configure
	cmake --build $(BUILD) -j $(JOBS) --target pgmtool

# The examples' outputs stay in $(EXAMPLES_OUT) for a look afterwards.
EXAMPLES_OUT ?= $(BUILD)/examples-out
run: tool
	@bash scripts/run-examples.sh $(BUILD)/pgmtool $(EXAMPLES_OUT)

test: test-normal test-asan

test-normal: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: deps
	cmake -S . -B $(BUILD_ASAN) $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Debug -DPGM_SANITIZE=ON
	cmake --build $(BUILD_ASAN) -j $(JOBS)
	cd $(BUILD_ASAN) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
		ctest --output-on-failure -j $(JOBS)

bench: deps
	cmake -S . -B $(BUILD_BENCH) $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Release -DPGM_BUILD_BENCH=ON -DPGM_BUILD_TESTS=OFF
	cmake --build $(BUILD_BENCH) -j $(JOBS) --target pgm_bench pgmtool
	$(BUILD_BENCH)/bench/pgm_bench
	bash bench/compare_peers.sh $(BUILD_BENCH)/pgmtool

fuzz:
	@bash scripts/install-deps.sh clang libclang-rt-14-dev
	CXX=clang++ cmake -S . -B $(BUILD_FUZZ) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPGM_BUILD_FUZZ=ON \
		-DPGM_BUILD_TESTS=OFF
	cmake --build $(BUILD_FUZZ) -j $(JOBS)
	bash scripts/run-fuzz.sh $(BUILD_FUZZ)/fuzz $(FUZZ_SECONDS)

install: tool
	cmake --install $(BUILD) --prefix $${PREFIX:-/usr/local}

clean:
	rm -rf $(BUILD) $(BUILD_ASAN) $(BUILD_BENCH)
