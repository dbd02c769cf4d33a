# Quorbane on Linux: cross-built with mingw-w64, run and tested under Wine.
#   make run    install what is missing, build, and start the program with a simulated synchronizer
#   make test   install what is missing, build everything, run every test
#   make bench  print the table of timings, memory and size against their bounds
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

# Figures measured against the simulator, printed next to their bounds (never asserted).
bench: build
	@tools/run-benchmarks

# The user guide's pictures: the headless demo, forced onto the bench's own Xvfb even when a
# display is set, with each screenshot copied into docs/.
.PHONY: screenshots
screenshots: build
	@mkdir -p docs
	@env -u DISPLAY QUORBANE_DOCS=$(CURDIR)/docs tools/run-app

clean:
	tools/bench down || true
	rm -rf $(BUILD)
