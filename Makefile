# Zarelin: the two commands a newcomer needs.
#   make run   installs what is missing, builds, and starts zarelin-shell
#   make test  installs what is missing, builds every flavour and runs every test
#   make coverage  line and branch coverage of the module (gcovr), not part of make test
#   make fuzz  runs each fuzz target for FUZZ_RUNS executions (5 million), FUZZ_SECONDS at most

JOBS ?= 2
# CMake's progress lines, without a pair of make's directory lines around each target.
MAKEFLAGS += --no-print-directory
BUILD_PACKAGES := cmake make g++ pkg-config googletest libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev libncurses-dev libsmbclient-dev libvterm-dev
WINDOWS_PACKAGES := g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 wine64 bsdutils
# The shipped 32-bit DLL runs under 32-bit Wine, its 64-bit counterpart under wine64.
WINDOWS_ARCHS := i686 x86_64
FUZZ_PACKAGES := clang libclang-rt-14-dev
# Without these a suite skips and says so: the terminal tests (tmux), the tests against
# a real SMB server (samba: smbd, smbpasswd), the 32-bit DLL under 32-bit Wine, the
# programs run in the shell's terminal (vim-tiny, less, python3). Each
# can be refused by a mirror in mid-sync (wine32:i386 needs the i386 security index),
# which must not stop every other suite.
OPTIONAL_TEST_PACKAGES := tmux samba wine32:i386 vim-tiny less python3
# What the suites could not check: tools/skips.sh adds to it, make test prints it last.
export ZARELIN_SKIPS := $(CURDIR)/build/skipped.txt
# What the shell needs: it loads the module, and both load the platform library.
SHELL_TARGETS := zarelin-shell zarelin zarelin-platform
# A fuzz run's length is counted in executions, so that a slow or busy machine fuzzes
# as deep as a fast one; the time is only a bound.
FUZZ_RUNS ?= 5000000
FUZZ_SECONDS ?= 7200

.PHONY: coverage all deps deps-linux test test-suites test-default test-asan test-windows $(WINDOWS_ARCHS:%=test-windows-%) \
        test-fuzz fuzz run bench bench-windows format clean

all: test

# What the Linux build and the shell need; the tests need the Windows toolchains too.
deps-linux:
	@tools/install-deps.sh $(BUILD_PACKAGES)

deps:
	@tools/install-deps.sh $(BUILD_PACKAGES) $(WINDOWS_PACKAGES) $(FUZZ_PACKAGES) \
	    --optional $(OPTIONAL_TEST_PACKAGES)

# The suites, then the list of what they skipped, also when one failed.
test:
	@mkdir -p build && : >"$(ZARELIN_SKIPS)"
	@status=0; $(MAKE) test-suites || status=$$?; \
	if [ -s "$(ZARELIN_SKIPS)" ]; then \
	    echo "not checked in this run:"; awk '!seen[$$0]++ { print "  SKIP: " $$0 }' "$(ZARELIN_SKIPS)"; \
	fi; \
	if [ $$status -eq 0 ]; then echo "all test suites passed"; else echo "make test failed"; fi; \
	exit $$status

test-suites: deps test-default test-asan test-windows test-fuzz

test-default test-asan: test-%:
	cmake --preset $* >/dev/null
	cmake --build --preset $* -j$(JOBS)
	ctest --preset $* -j$(JOBS)

# Each architecture: its DLL's exports, then the Windows test program under its Wine.
test-windows: $(WINDOWS_ARCHS:%=test-windows-%)

$(WINDOWS_ARCHS:%=test-windows-%): test-windows-%:
	cmake --preset mingw-$* >/dev/null
	cmake --build --preset mingw-$* -j$(JOBS)
	OBJDUMP=$*-w64-mingw32-objdump tests/windows/check-exports.sh build/mingw-$*/zarelin.dll
	tests/windows/run-under-wine.sh build/mingw-$*/zarelin_windows_tests.exe

# Each libFuzzer target for 7 s on its seed corpus, failing on any finding.
test-fuzz:
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz -j$(JOBS)
	tests/fuzz/run.sh --fresh 7 build/fuzz

# The same, deep: new inputs are kept in build/fuzz/fuzz-work/corpus for the next run.
fuzz:
	@tools/install-deps.sh $(BUILD_PACKAGES) $(FUZZ_PACKAGES)
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz -j$(JOBS)
	FUZZ_RUNS=$(FUZZ_RUNS) tests/fuzz/run.sh $(FUZZ_SECONDS) build/fuzz

# Starts the shell in the current directory; C: stands for / (zarelin-shell --help).
# The network is the example one (docs/network.md) unless NETWORK or $ZARELIN_NETWORK
# names another.
NETWORK ?= $(or $(ZARELIN_NETWORK),$(CURDIR)/examples/network/network.json)
run: deps-linux
	cmake --preset default >/dev/null
	cmake --build --preset default -j$(JOBS) --target $(SHELL_TARGETS)
	@build/default/zarelin-shell --network "$(NETWORK)"

bench: deps-linux
	cmake --preset default >/dev/null
	cmake --build --preset default -j$(JOBS)
	@for b in build/default/bench/bench_*; do [ -x "$$b" ] && "$$b"; done

# Line and branch coverage of the module (src/engine, src/sources, src/host) by every
# Linux suite, with gcc's --coverage (not part of make test); the HTML report is
# build/coverage/html/index.html. Exception and unreachable branches are left out.
COVERAGE_FILTERS := --filter 'src/engine/' --filter 'src/sources/' --filter 'src/host/' \
                    --exclude-throw-branches --exclude-unreachable-branches
coverage:
	@tools/install-deps.sh $(BUILD_PACKAGES) gcovr --optional tmux samba
	cmake --preset coverage >/dev/null
	cmake --build --preset coverage -j$(JOBS)
	find build/coverage -name '*.gcda' -delete
	# libgcov exports a symbol of its own from the module: the exports check is for the
	# builds that ship.
	ctest --preset coverage -j$(JOBS) -E ModuleExportsOnlyEntryPoints
	mkdir -p build/coverage/html
	gcovr --root . $(COVERAGE_FILTERS) --html-details build/coverage/html/index.html build/coverage
	gcovr --root . $(COVERAGE_FILTERS) --branches --print-summary build/coverage

# The Windows benchmark under both Wines (not part of make test): the list command and a
# next step at 2k..100k matches, against the Win32 file search of the same run.
bench-windows:
	@tools/install-deps.sh $(BUILD_PACKAGES) $(WINDOWS_PACKAGES) --optional wine32:i386
	$(foreach arch,$(WINDOWS_ARCHS),cmake --preset mingw-$(arch) >/dev/null && \
	    cmake --build --preset mingw-$(arch) -j$(JOBS) --target zarelin_windows_bench &&) true
	bench/windows/run.sh $(WINDOWS_ARCHS:%=build/mingw-%)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
