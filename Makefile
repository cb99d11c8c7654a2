# make deps | build | demo | test | bench | dll | fuzz | memcheck
BUILD ?= build
ASAN_BUILD ?= build-asan
WIN_BUILD ?= build-win
WIN64_BUILD ?= build-win64
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 300
JOBS ?= $(shell nproc)
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)
APT_PACKAGES := cmake ninja-build g++ make libgtest-dev libgmock-dev libbenchmark-dev binutils \
                g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64 \
                wine wine32:i386 wine64 xvfb xauth fonts-wqy-microhei clang libclang-rt-14-dev libcli11-dev \
                pkg-config valgrind

.PHONY: memcheck deps build demo test test-native test-asan test-wine test-fuzz fuzz fuzz-build bench dll clean

# wine32 comes from the i386 architecture, which a fresh amd64 machine has not enabled.
deps:
	@missing=""; for p in $(APT_PACKAGES); do dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	  echo "installing:$$missing"; \
	  dpkg --print-foreign-architectures | grep -qx i386 || $(SUDO) dpkg --add-architecture i386; \
	  $(SUDO) apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq $$missing </dev/null; \
	fi

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	tools/demo/demo.sh $(BUILD)

# The demo too, as a smoke check: it must run to its end.
test-native: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	tools/demo/demo.sh $(BUILD) >$(BUILD)/demo.out && grep -q '^person' $(BUILD)/demo.out && \
	  echo "ok   demo: $$(grep -c '' $(BUILD)/demo.out) lines"

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DMOVAR_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

# The integration tests with every host process of the library under valgrind: no invalid
# access, no leak.
VALGRIND := valgrind -q --error-exitcode=99 --leak-check=full --show-leak-kinds=definite,indirect \
            --errors-for-leak-kinds=definite,indirect
memcheck: build
	MOVAR_TEST_WRAPPER="$(VALGRIND)" ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) -L integration

# w_movar.dll for 32-bit Windows hosts, with movar.h and the import library w_movar.lib.
dll: deps
	cmake -S . -B $(WIN_BUILD) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-mingw.cmake \
	  -DCMAKE_BUILD_TYPE=Release
	cmake --build $(WIN_BUILD) -j $(JOBS)

# The DLL's tables, then the DLL under Wine. A kernel without 32-bit support (Wine's 32-bit
# loader fails with "Exec format error") runs the same sources' 64-bit twin under wine64.
test-wine: build dll
	tests/wine/check_dll_tables.sh $(WIN_BUILD)/w_movar.dll $(WIN_BUILD)/exports.txt
	@if timeout 20 /usr/lib/wine/wine --version >/dev/null 2>&1; then \
	  tests/wine/run.sh $(WIN_BUILD) $(BUILD)/tools/terminal-sim/movar-terminal; \
	else \
	  echo "wine: this kernel runs no 32-bit code; testing the 64-bit twin in $(WIN64_BUILD)"; \
	  cmake -S . -B $(WIN64_BUILD) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-mingw.cmake \
	    -DCMAKE_BUILD_TYPE=Release >/dev/null && \
	  cmake --build $(WIN64_BUILD) -j $(JOBS) && \
	  tests/wine/run.sh $(WIN64_BUILD) $(BUILD)/tools/terminal-sim/movar-terminal; \
	fi
	tests/wine/check_import_library.sh $(WIN_BUILD)

# libFuzzer targets for every flow that reads a terminal or a file: `make fuzz` runs each for
# FUZZ_SECONDS, `make test` for 20 s.
fuzz-build: deps
	cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	  -DMOVAR_FUZZ=ON -DMOVAR_UNIT_ONLY=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(FUZZ_BUILD) -j $(JOBS)

fuzz: fuzz-build
	fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

test-fuzz: fuzz-build
	fuzz/run.sh $(FUZZ_BUILD) 20

test: test-native test-asan test-wine test-fuzz memcheck

bench: build
	$(BUILD)/bench/movar_bench
	$(BUILD)/bench/movar_download_bench
	$(BUILD)/bench/movar_settings_bench
	$(BUILD)/bench/movar_collect_bench
	$(BUILD)/bench/movar_backup_bench

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(WIN_BUILD) $(WIN64_BUILD) $(FUZZ_BUILD)
