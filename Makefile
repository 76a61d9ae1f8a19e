# Front door for newcomers: `make`, `make test`, `make demo`, `make bench`,
# `make fuzz`, `make install`. Everything builds with CMake and Ninja.
BUILD        ?= build
ASAN_BUILD   ?= build-asan
FUZZ_BUILD   ?= build-fuzz
JOBS         ?= $(shell nproc)
PREFIX       ?= /usr
FUZZ_SECONDS ?= 30

.PHONY: all deps configure test test-asan demo bench fuzz fuzz-run install clean

all: configure
	cmake --build $(BUILD) -j $(JOBS)

deps:
	@scripts/install-deps.sh

configure: deps
	@test -f $(BUILD)/build.ninja || cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_INSTALL_PREFIX=$(PREFIX)

test: all
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: deps
	@test -f $(ASAN_BUILD)/build.ninja || cmake -S . -B $(ASAN_BUILD) -G Ninja \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORN_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)

demo: all
	@scripts/demo.sh $(BUILD)

bench: all
	@scripts/bench.sh $(BUILD)

fuzz: deps
	@test -f $(FUZZ_BUILD)/build.ninja || CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORN_FUZZ=ON
	cmake --build $(FUZZ_BUILD) -j $(JOBS)

fuzz-run: fuzz
	@scripts/fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

install: all
	cmake --install $(BUILD) --prefix $(PREFIX)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
