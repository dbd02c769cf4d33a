# Quorbane on Linux: cross-built with mingw-w64, run and tested under Wine.
#   make run    install what is missing, build, and start the program with a simulated synchronizer
#   make run PORT=/dev/ttyUSB0   the same with a real synchronizer on that device, as COM1
#   make test   install what is missing, build everything, run every test
#   make bench  print the table of timings, memory and size against their bounds
#   make dist   the Windows archive build/dist/quorbane-VERSION-win64.zip, and qsync for Linux as
#               build/dist/qsync_VERSION_amd64.deb and a .tar.gz, reproducibly
#   make linux  qsync for Linux alone: its .deb and .tar.gz, with no Wine and no Windows compiler
#   make fuzz   each fuzz target a million runs
BUILD  ?= build
NATIVE := $(BUILD)/native
WIN    := $(BUILD)/win
JOBS   ?= 2
# The programs that go into the Windows archive.
DIST_PROGRAMS := quorbane qsync

.PHONY: all setup build native win run test bench dist linux clean

all: build

# What make run needs (tools/setup run), and what the tests and the release need on top of it
# (tools/setup test). Each says what it installs and why; NO_SETUP=1 installs nothing.
.PHONY: setup-run
setup-run:
	@tools/setup run
setup:
	@tools/setup test

# A tree counts as configured only once cmake has finished: a failed configure leaves no stamp,
# so the next make configures again. Configuring waits for the set-up (it may install cmake).
# The tests are part of a tree only where GoogleTest was found: a tree that make run configured
# is configured once more (.tests) after the tests' set-up.
$(NATIVE)/.configured: | setup-run
	cmake -S . -B $(NATIVE) -DCMAKE_BUILD_TYPE=Debug >/dev/null
	touch $@

$(WIN)/.configured: | setup-run
	cmake -S . -B $(WIN) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
	touch $@

%/.tests: %/.configured | setup
	cmake $* >/dev/null
	touch $@

native: setup $(NATIVE)/.tests
	cmake --build $(NATIVE) -j$(JOBS)

win: setup $(WIN)/.tests
	cmake --build $(WIN) -j$(JOBS)

build: native win

# PORT counts only when given on the command line: an environment variable of that name is
# often set for other programs.
# Only what the program, the simulator and the demonstration need: no test tool.
run: setup-run $(NATIVE)/.configured $(WIN)/.configured
	cmake --build $(NATIVE) -j$(JOBS) --target qsim
	cmake --build $(WIN) -j$(JOBS) --target quorbane qdrive
	@tools/run-app $(if $(filter command line,$(origin PORT)),--port '$(PORT)')

test: build
	@tools/run-tests

# Figures measured against the simulator, printed next to their bounds (never asserted).
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

# Each fuzz target a million runs from its seed corpus: prints the runs done and the findings.
.PHONY: fuzz
fuzz: native
	@tools/run-fuzz -runs=1000000

# The Windows package: the stripped programs, README.txt, LICENSE and SHA256SUMS, reproducibly;
# then qsync's Debian package and Linux archive from a release build of their own.
dist: setup $(WIN)/.configured
	cmake --build $(WIN) -j$(JOBS) --target $(DIST_PROGRAMS)
	@tools/dist $(DIST_PROGRAMS)
	@JOBS=$(JOBS) tools/dist-linux

# qsync's Debian package and Linux archive alone: only the native compiler and the packaging
# tools are installed (tools/setup linux), and nothing else is built.
.PHONY: setup-linux
setup-linux:
	@tools/setup linux
linux: setup-linux
	@JOBS=$(JOBS) tools/dist-linux

# Every lane's bench (tools/bench), then the tree.
clean:
	@for lane in 1 $$(ls -d $(BUILD)/bench-* 2>/dev/null | sed 's/.*bench-//'); do \
	  QUORBANE_LANE=$$lane tools/bench down || true; done
	rm -rf $(BUILD)
