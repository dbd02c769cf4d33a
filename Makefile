# Quorbane on Linux: cross-built with mingw-w64, run and tested under Wine.
#   make run    install what is missing, build, and start the program with a simulated synchronizer
#   make test   install what is missing, build everything, run every test
#   make bench  print the timings measured against the simulator
BUILD  ?= build
NATIVE := $(BUILD)/native
WIN    := $(BUILD)/win
JOBS   ?= 2

.PHONY: all setup build native win run test bench clean

all: build

setup:
	@tools/setup

# A tree counts as configured only once cmake has finished: a failed configure leaves no stamp,
# so the next make configures again. Configuring waits for the set-up (it may install cmake).
$(NATIVE)/.configured: | setup
	cmake -S . -B $(NATIVE) -DCMAKE_BUILD_TYPE=Debug >/dev/null
	touch $@

$(WIN)/.configured: | setup
	cmake -S . -B $(WIN) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
	touch $@

native: setup $(NATIVE)/.configured
	cmake --build $(NATIVE) -j$(JOBS)

win: setup $(WIN)/.configured
	cmake --build $(WIN) -j$(JOBS)

build: native win

run: build
	@tools/run-app

test: build
	@tools/run-tests

# Timings measured against the simulator, printed (never asserted).
bench: build
	@tools/run-benchmarks

# Faults on the line, every row, printed as one table (make test runs a short form);
# make soak SOAK_CYCLES=200 runs load and save cycles in one process and prints its handles and memory.
.PHONY: faults soak
faults: build
	@tools/run-faults

SOAK_CYCLES ?= 200
soak: build
	@SOAK_CYCLES=$(SOAK_CYCLES) tools/run-faults

# The user guide's pictures: the headless demo, forced onto the bench's own Xvfb even when a
# display is set, with each screenshot copied into docs/.
.PHONY: screenshots
screenshots: build
	@mkdir -p docs
	@env -u DISPLAY QUORBANE_DOCS=$(CURDIR)/docs tools/run-app

clean:
	tools/bench down || true
	rm -rf $(BUILD)
