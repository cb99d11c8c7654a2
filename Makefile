# make deps | build | demo | test | bench | dll
BUILD ?= build
ASAN_BUILD ?= build-asan
JOBS ?= $(shell nproc)
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)
APT_PACKAGES := cmake ninja-build g++ make libgtest-dev libgmock-dev libbenchmark-dev binutils

.PHONY: deps build demo test test-native test-asan bench dll clean

deps:
	@missing=""; for p in $(APT_PACKAGES); do dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	  echo "installing:$$missing"; \
	  $(SUDO) apt-get update -qq && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq $$missing; \
	fi

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	$(BUILD)/tools/demo/movar-demo

test-native: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DMOVAR_SANITIZE=ON -DMOVAR_UNIT_ONLY=ON -DCMAKE_BUILD_TYPE=Debug
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

test: test-native test-asan

bench: build
	$(BUILD)/bench/movar_bench
	$(BUILD)/bench/movar_download_bench

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
