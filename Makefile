# make        builds the launcher (build/win32/launcher.exe) and the host tests
# make demo   runs the launcher under Wine and shows what the runtime received
# make test   runs every test
# make bench  measures the launcher's start-up cost and size
# Each target installs what it needs first (Debian 12, as root).

SHELL := /bin/bash
JOBS ?= 2

.PHONY: all deps win32 host host-asan demo demo-missing test unit-test asan-test fuzz-test \
        release-test e2e-test e2e-dialog-test bench clean

all: win32 host

deps:
	@bash tools/install-deps.sh

win32: deps
	@cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake -DCMAKE_BUILD_TYPE= >/dev/null
	@cmake --build build/win32 -j$(JOBS)

host: deps
	@cmake -S . -B build/host -DCMAKE_BUILD_TYPE=Debug >/dev/null
	@cmake --build build/host -j$(JOBS)

host-asan: deps
	@cmake -S . -B build/host-asan -DCMAKE_BUILD_TYPE=Debug -DSANITIZE=ON >/dev/null
	@cmake --build build/host-asan -j$(JOBS)

demo: win32
	@tools/demo.sh

unit-test: host
	@cd build/host && ctest --output-on-failure -j$(JOBS)

asan-test: host-asan
	@cd build/host-asan && ctest --output-on-failure -j$(JOBS)

fuzz-test: deps
	@tests/fuzz/run.sh

release-test: win32
	@tests/release/run.sh

e2e-test: win32
	@tests/e2e/run.sh

e2e-dialog-test: win32
	@tests/e2e/dialogs/run.sh

demo-missing: win32
	@tools/demo-missing.sh

bench: win32
	@bench/run.sh

test: unit-test asan-test fuzz-test release-test e2e-test e2e-dialog-test
	@echo "All tests passed."

clean:
	rm -rf build
