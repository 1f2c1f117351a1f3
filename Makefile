# The README's two entry points. Both install what they need first.
BUILD_DIR ?= build
TEST_BUILD_DIR ?= build-sanitize
JOBS ?= 2

.PHONY: deps build run test bench clean

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

clean:
	rm -rf $(BUILD_DIR) $(TEST_BUILD_DIR)
