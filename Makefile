# make demo  - set up, build, run tarvo-cli on examples/demo-request.json into out/,
#              and export examples/demo-model.json to out/demo.3mf and out/demo.png
# make test  - set up, build, run the whole test suite
# make sanitize - the whole test suite under AddressSanitizer and UBSan
# make docs  - the schema of model documents and the pictures of docs/examples
# make bench - benchmark models, overhead against the library, output paths
# make fuzz SECONDS=N MODE=bytes|models - one fuzzer for N seconds
# make serve - the configurator page and its server on http://127.0.0.1:8080 (PORT overrides)
# make bench-serve - load on the configurator server: a shop's mix, one replica and the cluster
# make serve-cluster - two replicas, Redis and nginx in front on http://127.0.0.1:8080
SHELL := /bin/bash
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
SECONDS ?= 60
MODE ?= bytes

.PHONY: all deps build demo docs test sanitize bench fuzz serve bench-serve serve-cluster clean

all: build

deps:
	@scripts/deps.sh >/dev/null

# A changed scripts/deps.sh may install to new prefixes: configure again.
# Configure and build output goes to out/setup.log (shown when a step fails).
# The library is one compile unit here: the first build is what a newcomer
# waits for. -DTARVO_UNITY=OFF in a build of your own compiles file by file.
build/build.ninja: scripts/deps.sh Makefile | deps
	@scripts/logged.sh "configuring build/ (log: out/setup.log)" \
	  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARVO_UNITY=ON \
	  -DCMAKE_PREFIX_PATH="$$(scripts/deps.sh)"

build: deps build/build.ninja
	@scripts/logged.sh "building tarvo-cli and the unit tests, about 4 minutes the first time" \
	  cmake --build build -j $(JOBS)

# The demo needs only the program: the unit tests are built by `make test`.
demo: deps build/build.ninja
	@scripts/logged.sh "building tarvo-cli, about a minute the first time" \
	  cmake --build build -j $(JOBS) --target tarvo-cli
	@mkdir -p out
	build/tarvo-cli build < examples/demo-request.json > out/demo-answer.json
	@python3 scripts/summarize.py out/demo-answer.json
	@build/tarvo-cli export examples/demo-model.json -o out/demo.3mf --segments 48
	@build/tarvo-cli export examples/demo-model.json -o out/demo.png --segments 48
	@echo "demo: look at out/demo.png; out/demo.3mf opens in a slicer (both at the request's 48 segments)"

docs: build
	build/tarvo-cli check --schema > docs/model.schema.json.tmp && mv docs/model.schema.json.tmp docs/model.schema.json
	@mkdir -p docs/img
	@for model in docs/examples/*.json; do \
	  picture=docs/img/$$(basename $$model .json).png; \
	  build/tarvo-cli export $$model -o $$picture --size 360x270 || exit 1; \
	done
	build/tarvo-cli export examples/demo-model.json -o docs/img/demo.png --segments 48 --size 480x360

test: build
	@scripts/test-deps.sh >/dev/null
	@scripts/slicer-deps.sh
	@scripts/web-deps.sh --browser >/dev/null
	@scripts/cluster-deps.sh >/dev/null
	cd build && ctest --output-on-failure -j $(JOBS)

build-asan/build.ninja: scripts/deps.sh | deps
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVO_SANITIZE=ON \
	  -DCMAKE_PREFIX_PATH="$$(scripts/deps.sh)"

sanitize: deps build-asan/build.ninja
	cmake --build build-asan -j $(JOBS)
	@scripts/test-deps.sh >/dev/null
	@scripts/slicer-deps.sh
	@scripts/web-deps.sh --browser >/dev/null
	@scripts/cluster-deps.sh >/dev/null
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS)

bench: deps
	scripts/bench.sh

fuzz: deps
	scripts/fuzz.sh $(SECONDS) $(MODE)

serve: build
	@PYTHONPATH="$$(scripts/web-deps.sh)" python3 web/server.py

bench-serve: build
	@scripts/cluster-deps.sh >/dev/null
	@PYTHONPATH="$$(scripts/web-deps.sh)" python3 web/bench_serve.py

serve-cluster: build
	@scripts/cluster-deps.sh >/dev/null
	@PYTHONPATH="$$(scripts/web-deps.sh)" python3 web/cluster.py

clean:
	rm -rf build build-asan out
