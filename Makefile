# make demo | test | build | bench | dll | dll64 | fuzz | memcheck | deps-demo | deps-test
BUILD ?= build
ASAN_BUILD ?= build-asan
WIN_BUILD ?= build-win
WIN64_BUILD ?= build-win64
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 300
JOBS ?= $(shell nproc)
# Warnings are errors in the project's own runs (make test, CI), never in a user's build.
TEST_FLAGS := -DMOVAR_WERROR=ON -DMOVAR_TESTS=ON
STAGE := tools/stage.sh

.PHONY: test-start deps-demo deps-test build build-tools demo test test-native test-asan test-wine \
        test-fuzz fuzz fuzz-build memcheck bench dll dll64 clean

deps-demo:
	tools/deps.sh demo
deps-test:
	tools/deps.sh test

# The demo needs only the library, the command line and the simulator.
build-tools: deps-demo
	cmake -S . -B $(BUILD) -G Ninja -DMOVAR_TESTS=OFF >/dev/null
	cmake --build $(BUILD) -j $(JOBS) --target movar movar-terminal

demo: build-tools
	tools/demo/demo.sh $(BUILD)

build: deps-test
	$(STAGE) "native build" sh -c 'cmake -S . -B $(BUILD) -G Ninja $(TEST_FLAGS) >/dev/null && \
	  cmake --build $(BUILD) -j $(JOBS)'

# Integration tests wait on simulated terminals far more than they compute, so they run more
# at a time than there are cores. The demo too, as a smoke check: it must run to its end.
test-native: build
	$(STAGE) "native tests" ctest --test-dir $(BUILD) --output-on-failure -j 6
	$(STAGE) "demo" sh -c 'tools/demo/demo.sh $(BUILD) >$(BUILD)/demo.out && \
	  grep -q "^person" $(BUILD)/demo.out && echo "ok   demo: $$(grep -c "" $(BUILD)/demo.out) lines"'

test-asan: deps-test
	$(STAGE) "ASan+UBSan build" sh -c 'cmake -S . -B $(ASAN_BUILD) -G Ninja $(TEST_FLAGS) \
	  -DMOVAR_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null && cmake --build $(ASAN_BUILD) -j $(JOBS)'
	$(STAGE) "ASan+UBSan tests" ctest --test-dir $(ASAN_BUILD) --output-on-failure -j 6

# The integration tests with every host process of the library under valgrind: no invalid
# access, no leak.
VALGRIND := valgrind -q --error-exitcode=99 --leak-check=full --show-leak-kinds=definite,indirect \
            --errors-for-leak-kinds=definite,indirect
memcheck: build
	$(STAGE) "valgrind" env MOVAR_TEST_WRAPPER="$(VALGRIND)" \
	  ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) -L integration

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

# Both DLLs' tables; the 64-bit DLL under wine64 always, the 32-bit one where 32-bit Wine runs.
test-wine: build dll dll64
	$(STAGE) "Wine" tests/wine/stage.sh $(WIN_BUILD) $(WIN64_BUILD) $(BUILD)/tools/terminal-sim/movar-terminal

# libFuzzer targets for every flow that reads a terminal or a file: `make fuzz` runs each for
# FUZZ_SECONDS, `make test` for 20 s.
fuzz-build: deps-test
	$(STAGE) "fuzz build" sh -c 'cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_C_COMPILER=clang \
	  -DCMAKE_CXX_COMPILER=clang++ -DMOVAR_FUZZ=ON -DMOVAR_UNIT_ONLY=ON -DMOVAR_WERROR=ON \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null && cmake --build $(FUZZ_BUILD) -j $(JOBS)'

fuzz: fuzz-build
	fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

test-fuzz: fuzz-build
	$(STAGE) "fuzz 20 s per target" fuzz/run.sh $(FUZZ_BUILD) 20

test-start:
	@rm -f .stage-times
test: test-start deps-test test-native test-wine memcheck test-asan test-fuzz
	@echo "stage times:"; cat .stage-times

bench: build
	$(BUILD)/bench/movar_bench
	$(BUILD)/bench/movar_download_bench
	$(BUILD)/bench/movar_settings_bench
	$(BUILD)/bench/movar_collect_bench
	$(BUILD)/bench/movar_backup_bench

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(WIN_BUILD) $(WIN64_BUILD) $(FUZZ_BUILD) .stage-times
