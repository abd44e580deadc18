# SPDX-License-Identifier: MIT
# make test   installs what is missing, builds, runs every test through ctest
# make run    installs what is missing, builds the program only, starts it (PORT=9001 by default)
# make bench  builds and prints the benchmark figures
# make package  builds the Debian package (build/ostrella_VERSION_ARCH.deb)
# make test-sanitize  builds everything with ASan and UBSan (build-asan) and runs every test
# make fuzz   builds the libFuzzer targets, over the core and over the API's reading of requests
#             (build-fuzz), and runs each FUZZ_SECONDS

BUILD ?= build
PORT ?= 9001
BUILD_TYPE ?= RelWithDebInfo
WERROR := $(if $(CI),ON,OFF)
PACKAGES := cmake ninja-build g++ make qt6-base-dev libgtest-dev libgmock-dev libbenchmark-dev \
            qt6-httpserver-dev qt6-websockets-dev qt6-serialport-dev qt6-svg-dev clang-format dpkg-dev file jq \
            chromium chromium-driver fonts-liberation python3-junitparser \
            python3-selenium
FORMATTED := $(shell find src tests bench fuzz -name '*.cpp' -o -name '*.h' 2>/dev/null)

.PHONY: all deps configure build test run bench bench-build package format format-check clean

all: build

deps:
	@missing=$$(for p in $(PACKAGES); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null \
	    | grep -q 'install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	    if [ "$$(id -u)" = 0 ]; then \
	        echo "Installing:" $$missing; \
	        apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing; \
	    else \
	        echo "Missing packages. Run: sudo apt-get install -y" $$missing; exit 1; \
	    fi; \
	fi

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DOSTRELLA_WERROR=$(WERROR) >/dev/null

build: configure
	cmake --build $(BUILD)

# Most tests wait on the simulator's real timers (its ten-second dial above all) and use little of
# the machine, so eight run at a time; the few that load it run alone (RUN_SERIAL).
TEST_JOBS ?= 8

test: build format-check
	QT_QPA_PLATFORM=offscreen ctest --test-dir $(BUILD) --output-on-failure --timeout 300 -j $(TEST_JOBS)

# Only the program: the tests and benchmarks are built by make test and make bench.
run: configure
	cmake --build $(BUILD) --target ostrella
	$(BUILD)/ostrella $(PORT)

bench: bench-build
	$(BUILD)/bench/ostrella_bench
	$(BUILD)/bench/ostrella_tcp_bench
	$(BUILD)/bench/ostrella_wire_bench
	$(BUILD)/bench/ostrella_scale_bench

# The benchmarks are not built with the program and the tests; CI builds them so that they compile.
bench-build: configure
	cmake --build $(BUILD) --target benchmarks

package: build
	cd $(BUILD) && cpack -G DEB

format:
	clang-format -i $(FORMATTED)

format-check:
	clang-format --dry-run --Werror $(FORMATTED)

clean:
	rm -rf $(BUILD)

# --- hardening: sanitizer build and fuzzing -------------------------------------------------------

ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 600
# libFuzzer comes with clang; only make fuzz needs it.
FUZZ_PACKAGES := clang-14 libclang-rt-14-dev
# Any finding fails the test that made it, leaks included (Qt needs no suppressions offscreen).
SANITIZE_ENV := ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1 \
                UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 QT_QPA_PLATFORM=offscreen

.PHONY: test-sanitize fuzz

test-sanitize: deps
	@cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DOSTRELLA_SANITIZE=ON \
	    -DOSTRELLA_BENCH=OFF -DOSTRELLA_WERROR=$(WERROR) >/dev/null
	$(SANITIZE_ENV) cmake --build $(ASAN_BUILD)
	$(SANITIZE_ENV) ctest --test-dir $(ASAN_BUILD) --output-on-failure --timeout 300 -j $(TEST_JOBS)

fuzz: PACKAGES += $(FUZZ_PACKAGES)
fuzz: deps
	@cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DCMAKE_CXX_COMPILER=clang++-14 -DOSTRELLA_FUZZ=ON -DOSTRELLA_TESTS=OFF \
	    -DOSTRELLA_BENCH=OFF -DOSTRELLA_WERROR=$(WERROR) >/dev/null
	cmake --build $(FUZZ_BUILD) --target ostrella_fuzz ostrella_fuzz_api ostrella_fuzz_corpus
	mkdir -p $(FUZZ_BUILD)/corpus $(FUZZ_BUILD)/artifacts
	cp $(FUZZ_BUILD)/fuzz/seeds/* $(FUZZ_BUILD)/corpus/
	$(FUZZ_BUILD)/fuzz/ostrella_fuzz $(FUZZ_BUILD)/corpus -max_total_time=$(FUZZ_SECONDS) \
	    -max_len=70000 -rss_limit_mb=2048 -timeout=60 -print_final_stats=1 \
	    -artifact_prefix=$(FUZZ_BUILD)/artifacts/
	mkdir -p $(FUZZ_BUILD)/api-corpus
	cp fuzz/api-seeds/* $(FUZZ_BUILD)/api-corpus/
	$(FUZZ_BUILD)/fuzz/ostrella_fuzz_api $(FUZZ_BUILD)/api-corpus -max_total_time=$(FUZZ_SECONDS) \
	    -max_len=16384 -rss_limit_mb=2048 -timeout=60 -print_final_stats=1 \
	    -artifact_prefix=$(FUZZ_BUILD)/artifacts/api-
