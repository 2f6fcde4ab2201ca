# make demo  - set up, build, run tarvo-cli on examples/demo-request.json into out/
# make test  - set up, build, run the whole test suite
# make sanitize - the whole test suite under AddressSanitizer and UBSan
# make bench - benchmark models, overhead against the library, output paths
# make fuzz SECONDS=N MODE=bytes|models - one fuzzer for N seconds
SHELL := /bin/bash
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
SECONDS ?= 60
MODE ?= bytes

.PHONY: all deps build demo test sanitize bench fuzz clean

all: build

deps:
	@scripts/deps.sh >/dev/null

build/build.ninja: | deps
	cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_PREFIX_PATH="$$(scripts/deps.sh)"

build: deps build/build.ninja
	cmake --build build -j $(JOBS)

demo: build
	@mkdir -p out
	build/tarvo-cli build < examples/demo-request.json > out/demo-answer.json
	@python3 scripts/summarize.py out/demo-answer.json

test: build
	@scripts/test-deps.sh >/dev/null
	cd build && ctest --output-on-failure -j $(JOBS)

build-asan/build.ninja: | deps
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVO_SANITIZE=ON \
	  -DCMAKE_PREFIX_PATH="$$(scripts/deps.sh)"

sanitize: deps build-asan/build.ninja
	cmake --build build-asan -j $(JOBS)
	@scripts/test-deps.sh >/dev/null
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS)

bench: deps
	scripts/bench.sh

fuzz: deps
	scripts/fuzz.sh $(SECONDS) $(MODE)

clean:
	rm -rf build build-asan out
