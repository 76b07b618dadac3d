# The two commands of the README. Each installs what is missing, configures and builds first.
BUILD ?= build
ASAN_BUILD ?= build-asan
JOBS ?= $(shell nproc)

.PHONY: deps configure build run test asan fuzz bench clean

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release > /dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@scripts/run-program.sh $(BUILD)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The whole suite under AddressSanitizer and UndefinedBehaviorSanitizer.
asan: deps
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DLUMENVEX_SANITIZE=ON > /dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	@cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j $(JOBS)

# Each fuzz target for FUZZ_SECONDS (default 180); crashing inputs land in fuzz/crashes/.
FUZZ_SECONDS ?= 180
fuzz: deps
	@scripts/fuzz.sh $(FUZZ_SECONDS)

# Times torvenquill against peer tools and the bare libraries (bench/run_bench.py); quick run:
# make bench ROUNDS=1 SIZES=hd
BENCH_BUILD ?= build-bench
ROUNDS ?= 3
SIZES ?= hd,photo
bench: deps
	@bench/install-bench-deps.sh
	@cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DLUMENVEX_BUILD_BENCH=ON -DLUMENVEX_BUILD_APP=OFF > /dev/null
	@cmake --build $(BENCH_BUILD) -j $(JOBS) --target torvenquill_cli tvq_limit
	@/usr/bin/python3 bench/run_bench.py --build $(BENCH_BUILD) --rounds $(ROUNDS) --sizes $(SIZES)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
