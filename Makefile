# zorva: `make run` sets up, builds and starts the player; `make test` sets
# up, builds (plain, sanitizer and fuzz builds) and runs every test.

SHELL := /bin/bash
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 5

# Debian packages the build and the tests need.
PACKAGES := g++ make cmake pkg-config libsdl2-dev liblodepng-dev libgif-dev \
	liblz4-dev libgtest-dev xvfb xauth clang libclang-rt-14-dev wget python3 \
	lua5.2

.PHONY: all setup build asan fuzz run test test-build test-asan test-fuzz bench clean \
	windows-setup windows test-windows dist test-dist

all: build

setup:
	@missing=""; for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "installing:$$missing"; \
	  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing; \
	fi

build: setup
	cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build build -j$(JOBS)

asan: setup
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DZORVA_SANITIZE=ON -DZORVA_BENCH=OFF
	cmake --build build-asan -j$(JOBS)

fuzz: setup
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZORVA_FUZZ=ON
	cmake --build build-fuzz -j$(JOBS)

run: build
	./build/zorva

test-build: build
	ctest --test-dir build -j$(JOBS) --output-on-failure

test-asan: asan
	ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$(CURDIR)/tools/lsan-suppressions.txt \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir build-asan -j$(JOBS) --output-on-failure

# Each fuzz target runs for a few seconds on its seed corpus (copied, so
# the committed seeds stay as they are). The sanitizer's quarantine of
# freed blocks is kept small: with its default, a script that builds long
# strings over and over holds gigabytes that the program itself gave back.
test-fuzz: fuzz
	@set -e; for t in build-fuzz/fuzz/*; do \
	  [ -x "$$t" ] && [ -f "$$t" ] || continue; \
	  name=$$(basename $$t); corpus=build-fuzz/corpus/$$name; \
	  rm -rf $$corpus; mkdir -p $$corpus; \
	  if [ -d fuzz/corpus/$$name ]; then cp -r fuzz/corpus/$$name/. $$corpus/; fi; \
	  echo "fuzzing $$name for $(FUZZ_SECONDS)s"; \
	  ASAN_OPTIONS=quarantine_size_mb=16 $$t -max_total_time=$(FUZZ_SECONDS) -rss_limit_mb=2048 -timeout=10 $$corpus >build-fuzz/$$name.log 2>&1 \
	    || { tail -40 build-fuzz/$$name.log; exit 1; }; \
	done

# The Windows program: zorva.exe for 32-bit Windows, cross-built with
# mingw-w64 (i686). SDL2, LZ4, giflib and lodepng are built once from
# Debian's source packages into build-win/prefix (sources in build-win/src,
# never committed); the engine's tests run under 32-bit wine with SDL's
# dummy drivers, and zorva.exe in a window on Xvfb.
WIN_DIR := build-win

windows-setup: setup
	tools/windows-setup.sh

windows: windows-setup
	JOBS=$(JOBS) tools/windows-deps.sh $(WIN_DIR)/prefix $(WIN_DIR)/src
	cmake -S . -B $(WIN_DIR) -DCMAKE_TOOLCHAIN_FILE=tools/mingw-i686.cmake \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZORVA_BENCH=OFF
	cmake --build $(WIN_DIR) -j$(JOBS)

# The wine prefix is made (and its services started) once before the tests
# run many programs at once.
test-windows: windows
	tools/wine-run.sh cmd /c exit
	ctest --test-dir $(WIN_DIR) -j$(JOBS) --timeout 240 --output-on-failure

# What to hand to users: dist/zorva-windows/ and dist/zorva-linux/ (the
# stripped player, data.pod, README.txt), each also as one archive
# (dist/zorva-windows.zip, dist/zorva-linux.tar.gz). test-dist unpacks them
# and runs each player on a cart.
dist: build windows
	tools/make-dist.sh build $(WIN_DIR) dist

test-dist: dist
	python3 tools/dist_test.py dist

test: test-build test-asan test-fuzz test-windows test-dist

bench: build
	@for b in build/bench/*; do [ -x "$$b" ] && [ -f "$$b" ] && "$$b"; done; true

clean:
	rm -rf build build-asan build-fuzz build-win dist
