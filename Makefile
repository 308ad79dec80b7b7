# Zarelin: the two commands a newcomer needs.
#   make run   installs what is missing, builds, and starts zarelin-shell
#   make test  installs what is missing, builds every flavour and runs every test

JOBS ?= 2
BUILD_PACKAGES := cmake make g++ pkg-config googletest libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev libncurses-dev tmux
WINDOWS_PACKAGES := g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 wine64 bsdutils

.PHONY: all deps deps-linux test test-default test-asan test-windows run bench format clean

all: test

# What the Linux build and the shell need; the tests need the Windows toolchains too.
deps-linux:
	@tools/install-deps.sh $(BUILD_PACKAGES)

deps:
	@tools/install-deps.sh $(BUILD_PACKAGES) $(WINDOWS_PACKAGES)

test: deps test-default test-asan test-windows
	@echo "all test suites passed"

test-default test-asan: test-%:
	cmake --preset $* >/dev/null
	cmake --build --preset $* -j$(JOBS)
	ctest --preset $* -j$(JOBS)

test-windows:
	cmake --preset mingw-i686 >/dev/null
	cmake --build --preset mingw-i686 -j$(JOBS)
	tests/windows/check-exports.sh build/mingw-i686/zarelin.dll
	cmake --preset mingw-x86_64 >/dev/null
	cmake --build --preset mingw-x86_64 -j$(JOBS)
	OBJDUMP=x86_64-w64-mingw32-objdump tests/windows/check-exports.sh build/mingw-x86_64/zarelin.dll
	tests/windows/run-under-wine.sh build/mingw-x86_64/zarelin_windows_tests.exe

# Starts the shell in the current directory; C: stands for / (zarelin-shell --help).
run: deps-linux
	cmake --preset default >/dev/null
	cmake --build --preset default -j$(JOBS)
	@build/default/zarelin-shell

bench: deps-linux
	cmake --preset default >/dev/null
	cmake --build --preset default -j$(JOBS)
	@for b in build/default/bench/bench_*; do [ -x "$$b" ] && "$$b"; done

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
