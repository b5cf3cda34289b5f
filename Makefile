# Thin wrapper around CMake + Ninja. `make run` starts the desktop program, `make test`
# runs every test; both install what they need first (scripts/setup).
BUILD ?= build
JOBS ?= 2

.PHONY: all setup build run test test-sanitize fuzz bench demo clean

all: build

setup:
	@scripts/setup

$(BUILD)/build.ninja: CMakeLists.txt
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release

build: setup $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

# The program keeps its settings file and help panels in its own directory, so it runs there,
# and opens the demo capture (made on first use) so there is something to look at at once.
run: build
	@scripts/demo-capture $(BUILD)
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
	  echo "No display found (DISPLAY is not set): the desktop program needs a screen."; \
	  echo "Use the headless twin instead, for example:"; \
	  echo "  $(BUILD)/bin/talvenor-cli --help"; \
	  echo "  $(BUILD)/bin/talvenor-cli info $(BUILD)/demo/jupiter/capture_00001.jpg"; \
	  echo "or run the desktop program on a virtual screen: xvfb-run -a make run"; \
	else \
	  cd $(BUILD)/bin && ./talvenor ../demo/jupiter.rfl; \
	fi

# The test programs run side by side (JOBS at a time): the command-line suite alone takes as
# long as all the others together.
test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The whole suite again, built with AddressSanitizer and UBSan in its own folder: any memory
# error, undefined behaviour or leak fails the test that met it.
SANITIZE_BUILD ?= build-sanitize
test-sanitize: setup
	cmake -S . -B $(SANITIZE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALVENOR_SANITIZE=ON \
	  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG"
	cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	cd $(SANITIZE_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan.supp ctest --output-on-failure -j $(JOBS)

# Every file reader under libFuzzer with AddressSanitizer and UBSan, in its own folder, for
# FUZZ_SECONDS each (60 by default); fails when any reader crashed (scripts/fuzz tells where).
FUZZ_BUILD ?= build-fuzz
fuzz: setup
	FUZZ_BUILD=$(FUZZ_BUILD) JOBS=$(JOBS) scripts/fuzz

# A generated capture aligned, stacked and compared with its ground truth.
demo: build
	@scripts/demo-stack $(BUILD)

bench: build
	cmake --build $(BUILD) -j $(JOBS) --target benchmarks
	@scripts/bench $(BUILD)

clean:
	rm -rf $(BUILD)
