# Two entry points: `make run` (optionally LIST=path/to/list.txt) and `make test`.
BUILD     ?= build
LIST      ?=
JOBS      ?= $(shell nproc 2>/dev/null || echo 2)
# Most tests spend their time waiting on timers and loopback servers: two per core keep
# the cores busy.
TESTJOBS  ?= $(shell expr $(JOBS) \* 2)
BUILDTYPE ?= RelWithDebInfo
CMAKEFLAGS ?=
ifeq ($(CI),true)
CMAKEFLAGS += -DLARKSPUR_WERROR=ON
endif

.PHONY: all deps configure build demo run test bench fuzz install clean

all: build

deps:
	@bash scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=$(BUILDTYPE) $(CMAKEFLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	@bash scripts/make-demo.sh demo

run: build
ifeq ($(strip $(LIST)),)
	@bash scripts/make-demo.sh demo
	./$(BUILD)/larkspur "$(CURDIR)/demo/demo.txt"
else
	./$(BUILD)/larkspur "$(abspath $(LIST))"
endif

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(TESTJOBS)

bench: build
	cmake --build $(BUILD) -j $(JOBS) --target benchmarks
	@bash scripts/run-bench.sh $(BUILD)

# libFuzzer with address and undefined-behaviour sanitizers, in its own build folder:
# every fuzz target runs SECONDS seconds on a scratch copy of its seed corpus.
SECONDS   ?= 60
FUZZBUILD ?= build-fuzz
fuzz:
	@bash scripts/install-deps.sh --fuzz
	@bash scripts/run-fuzz.sh $(FUZZBUILD) $(SECONDS)

PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD) --prefix "$(PREFIX)"

clean:
	rm -rf $(BUILD) $(FUZZBUILD) demo
