# The README's two entry points. Both install what they need first.
BUILD_DIR ?= build
TEST_BUILD_DIR ?= build-sanitize
BENCH_BUILD_DIR ?= build-bench
# Passed to bench/redact/run.py, e.g. BENCH_ARGS=--full
BENCH_ARGS ?=
FUZZ_BUILD_DIR ?= build-fuzz
DEB_BUILD_DIR ?= build-deb
FUZZ_SECONDS ?= 60
JOBS ?= 2

.PHONY: deps deb-deps build run test fuzz bench deb clean

deps:
	bash scripts/install-deps.sh

$(BUILD_DIR)/build.ninja:
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DINKVEIL_BUILD_TESTS=OFF

build: deps $(BUILD_DIR)/build.ninja
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	bash scripts/run-app.sh $(BUILD_DIR)

$(TEST_BUILD_DIR)/build.ninja:
	cmake -S . -B $(TEST_BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DINKVEIL_SANITIZE=ON -DINKVEIL_WERROR=ON

test: deps $(TEST_BUILD_DIR)/build.ninja
	cmake --build $(TEST_BUILD_DIR) -j $(JOBS)
	cd $(TEST_BUILD_DIR) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

$(BENCH_BUILD_DIR)/build.ninja:
	cmake -S . -B $(BENCH_BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DINKVEIL_BUILD_TESTS=OFF

bench: deps $(BENCH_BUILD_DIR)/build.ninja
	cmake --build $(BENCH_BUILD_DIR) -j $(JOBS) --target bench-make-inputs bench-redact bench_add_folder bench_patterns bench_window_stalls inkveil-cli bench-make-scans
	python3 bench/redact/run.py --build $(BENCH_BUILD_DIR) $(BENCH_ARGS)
	python3 bench/ocr/run.py --build $(BENCH_BUILD_DIR)
	$(BENCH_BUILD_DIR)/bench/bench_add_folder
	$(BENCH_BUILD_DIR)/bench/bench_patterns
	$(BENCH_BUILD_DIR)/bench/bench_window_stalls

# Each fuzz target for FUZZ_SECONDS; findings land in $(FUZZ_BUILD_DIR)/findings.
fuzz: deps
	FUZZ_SECONDS=$(FUZZ_SECONDS) JOBS=$(JOBS) bash scripts/fuzz.sh $(FUZZ_BUILD_DIR)

# The Debian package inkveil_<version>_<arch>.deb, made here and checked by lintian.
deb-deps:
	bash scripts/install-deps.sh --deb

# Configured every time, so that an existing tree is made a packaged build too.
deb: deb-deps
	cmake -S . -B $(DEB_BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DINKVEIL_BUILD_TESTS=OFF \
	  -DINKVEIL_PACKAGED=ON
	cmake --build $(DEB_BUILD_DIR) -j $(JOBS)
	rm -rf $(DEB_BUILD_DIR)/package
	cd $(DEB_BUILD_DIR) && cpack -G DEB -B package
	cd $(DEB_BUILD_DIR)/package && lintian --fail-on error,warning inkveil_*.deb
	cp $(DEB_BUILD_DIR)/package/inkveil_*.deb .

clean:
	rm -rf $(BUILD_DIR) $(TEST_BUILD_DIR) $(BENCH_BUILD_DIR) $(FUZZ_BUILD_DIR) $(DEB_BUILD_DIR)
