# SPDX-License-Identifier: MIT
# make test   installs what is missing, builds, runs every test through ctest
# make run    installs what is missing, builds, starts the simulator (PORT=9001 by default)
# make bench  builds and prints the benchmark figures

BUILD ?= build
PORT ?= 9001
BUILD_TYPE ?= RelWithDebInfo
WERROR := $(if $(CI),ON,OFF)
PACKAGES := cmake ninja-build g++ make qt6-base-dev libgtest-dev libgmock-dev libbenchmark-dev \
            clang-format
FORMATTED := $(shell find src tests bench -name '*.cpp' -o -name '*.h' 2>/dev/null)

.PHONY: all deps configure build test run bench format format-check clean

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

test: build format-check
	QT_QPA_PLATFORM=offscreen ctest --test-dir $(BUILD) --output-on-failure --timeout 300

run: build
	$(BUILD)/ostrella $(PORT)

bench: build
	$(BUILD)/bench/ostrella_bench

format:
	clang-format -i $(FORMATTED)

format-check:
	clang-format --dry-run --Werror $(FORMATTED)

clean:
	rm -rf $(BUILD)
