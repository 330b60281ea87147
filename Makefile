# The two commands people use: `make run` and `make test`. Both install what is missing first.
BUILD   ?= build
JOBS    ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps test-deps configure build run test bench fuzz clean
# Installing and configuring happen in order; the build itself runs in parallel.
.NOTPARALLEL:

all: build

deps:
	@scripts/install-deps

test-deps:
	@scripts/install-deps --test

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS) > /dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# Only the program: running it needs none of what the tests need.
run: configure
	@cmake --build $(BUILD) -j $(JOBS) --target program
	@$(BUILD)/bin/Sheetbeacon

test: test-deps build
	@scripts/run-tests $(BUILD) $(JOBS)

bench: test-deps
	@cmake -S . -B $(BUILD)-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DSB_TESTS=ON -DSB_BENCH=ON > /dev/null
	@cmake --build $(BUILD)-bench -j $(JOBS)
	@cmake --build $(BUILD)-bench --target run-benchmarks

fuzz: test-deps
	@CC=clang CXX=clang++ cmake -S . -B $(BUILD)-fuzz -G Ninja -DSB_TESTS=OFF -DSB_FUZZ=ON > /dev/null
	@cmake --build $(BUILD)-fuzz -j $(JOBS)

clean:
	@rm -rf $(BUILD) $(BUILD)-bench $(BUILD)-fuzz
