# make demo | test | build | bench | dll | dll64 | fuzz | memcheck | test-native | test-asan |
#      test-wine | test-fuzz | package | test-package | deps-demo | deps-test
# `make test` is tools/test.sh: the builds below on one lane, the checks that mostly wait on
# simulated terminals on another, so that both cores stay busy.
BUILD ?= build
ASAN_BUILD ?= build-asan
WIN_BUILD ?= build-win
WIN64_BUILD ?= build-win64
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 300
JOBS ?= $(shell nproc)
# Warnings are errors in the project's own runs (make test, CI), never in a user's build.
TEST_FLAGS := -DMOVAR_WERROR=ON -DMOVAR_TESTS=ON
# Line tables are all that valgrind's, the sanitizers' and libFuzzer's reports use; full debug
# information costs a quarter of each compile.
LINE_TABLES := -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" \
               -DCMAKE_CXX_FLAGS_DEBUG="-g1" -DCMAKE_C_FLAGS_DEBUG="-g1"
STAGE := tools/stage.sh
SIMULATOR := $(BUILD)/tools/terminal-sim/movar-terminal

.PHONY: test deps-demo deps-test build build-tools demo build-asan dll dll64 fuzz-build \
        run-native run-memcheck run-asan run-wine run-fuzz \
        test-native test-asan test-wine test-fuzz memcheck fuzz bench clean \
        package run-package test-package

deps-demo:
	tools/deps.sh demo
# NODEPS=1: the caller has installed them already.
deps-test:
	@[ -n "$(NODEPS)" ] || tools/deps.sh test

test: deps-test
	tools/test.sh

# The demo needs only the library, the command line and the simulator; the library is built too,
# for what comes after the demo (the bindings, `cmake --install`).
build-tools: deps-demo
	cmake -S . -B $(BUILD) -G Ninja -DMOVAR_TESTS=OFF >/dev/null
	cmake --build $(BUILD) -j $(JOBS) --target w_movar movar movar-terminal

demo: build-tools
	tools/demo/demo.sh $(BUILD)

# The builds.
build: deps-test
	$(STAGE) "native build" sh -c 'cmake -S . -B $(BUILD) -G Ninja $(TEST_FLAGS) $(LINE_TABLES) >/dev/null && \
	  cmake --build $(BUILD) -j $(JOBS)'
build-asan: deps-test
	$(STAGE) "ASan+UBSan build" sh -c 'cmake -S . -B $(ASAN_BUILD) -G Ninja $(TEST_FLAGS) $(LINE_TABLES) \
	  -DMOVAR_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null && cmake --build $(ASAN_BUILD) -j $(JOBS)'
# w_movar.dll for 32-bit (dll) and 64-bit (dll64) Windows hosts, each with movar.h and the
# import library w_movar.lib.
dll: deps-test
	$(STAGE) "i686 DLL build" sh -c 'cmake -S . -B $(WIN_BUILD) -G Ninja $(TEST_FLAGS) \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-mingw.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null && \
	  cmake --build $(WIN_BUILD) -j $(JOBS)'
dll64: deps-test
	$(STAGE) "x86_64 DLL build" sh -c 'cmake -S . -B $(WIN64_BUILD) -G Ninja $(TEST_FLAGS) \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-mingw.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null && \
	  cmake --build $(WIN64_BUILD) -j $(JOBS)'
fuzz-build: deps-test
	$(STAGE) "fuzz build" sh -c 'cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_C_COMPILER=clang \
	  -DCMAKE_CXX_COMPILER=clang++ -DMOVAR_FUZZ=ON -DMOVAR_UNIT_ONLY=ON -DMOVAR_WERROR=ON $(LINE_TABLES) \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null && cmake --build $(FUZZ_BUILD) -j $(JOBS)'

# The checks, each on what its build made. Integration tests wait on simulated terminals far more
# than they compute, so more run at a time than there are cores. The demo is a smoke check: it
# must run to its end.
run-native:
	$(STAGE) "native tests" ctest --test-dir $(BUILD) --output-on-failure -j 6
	$(STAGE) "demo" sh -c 'tools/demo/demo.sh $(BUILD) >$(BUILD)/demo.out && \
	  grep -q "^person" $(BUILD)/demo.out && echo "ok   demo: $$(grep -c "" $(BUILD)/demo.out) lines"'
# The integration tests with every host process of the library under valgrind: no invalid
# access, no leak.
VALGRIND := valgrind -q --error-exitcode=99 --leak-check=full --show-leak-kinds=definite,indirect \
            --errors-for-leak-kinds=definite,indirect
run-memcheck:
	$(STAGE) "valgrind" env MOVAR_TEST_WRAPPER="$(VALGRIND)" \
	  ctest --test-dir $(BUILD) --output-on-failure -j 6 -L integration
run-asan:
	$(STAGE) "ASan+UBSan tests" ctest --test-dir $(ASAN_BUILD) --output-on-failure -j 6
# Both DLLs' tables; the 64-bit DLL under wine64 always, the 32-bit one where 32-bit Wine runs.
run-wine:
	$(STAGE) "Wine" tests/wine/stage.sh $(WIN_BUILD) $(WIN64_BUILD) $(SIMULATOR)
# libFuzzer targets for every flow that reads a terminal or a file: `make fuzz` runs each for
# FUZZ_SECONDS, `make test` for 20 s.
run-fuzz:
	$(STAGE) "fuzz 20 s per target" fuzz/run.sh $(FUZZ_BUILD) 20

# The Debian packages (CPack) of the native build and movar-VERSION-windows.zip of both DLLs,
# in $(BUILD)/packages; the check makes them and runs lintian, the unpacked programs, the unit's
# verification and score, and the zip's layout and tables.
package: build dll dll64
	packaging/make_packages.sh $(BUILD) $(WIN_BUILD) $(WIN64_BUILD)
run-package:
	$(STAGE) "packages" packaging/check.sh $(BUILD) $(WIN_BUILD) $(WIN64_BUILD)

# One stage with its build, for working on it.
test-native: build
	@$(MAKE) --no-print-directory run-native
memcheck: build
	@$(MAKE) --no-print-directory run-memcheck
test-asan: build-asan
	@$(MAKE) --no-print-directory run-asan
test-wine: build dll dll64
	@$(MAKE) --no-print-directory run-wine
test-fuzz: fuzz-build
	@$(MAKE) --no-print-directory run-fuzz
test-package: build dll dll64
	@$(MAKE) --no-print-directory run-package
fuzz: fuzz-build
	fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

bench: build
	$(BUILD)/bench/movar_bench
	$(BUILD)/bench/movar_download_bench
	$(BUILD)/bench/movar_settings_bench
	$(BUILD)/bench/movar_collect_bench
	$(BUILD)/bench/movar_backup_bench
	$(BUILD)/bench/movar_serve_bench

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(WIN_BUILD) $(WIN64_BUILD) $(FUZZ_BUILD) .stage-times
