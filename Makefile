# Front door: make demo, make test, make build (and make bench later).
BUILD     ?= build
JOBS      ?= $(shell nproc)
PYTHON    := /usr/bin/python3
WERROR    := $(if $(CI),ON,OFF)
TEMPLATE  := $(BUILD)/wineprefix-template
export WINEDEBUG := -all
export WINEDLLOVERRIDES := mscoree,mshtml=

.PHONY: all build deps test unit e2e demo bench prefix clean

all: build

deps:
	@scripts/install-deps.sh

# Configured every time (it takes a moment) so that CI's warnings-as-errors setting always applies.
build: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCHAINER_WERROR=$(WERROR) >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

prefix: deps
	@tests/support/wineprefix.sh template $(TEMPLATE)

unit: build prefix
	@tests/support/run-unit-tests.sh $(BUILD)

e2e: build prefix
	$(PYTHON) -m pytest -q -p no:cacheprovider tests/e2e

test: build prefix
	@tests/support/run-unit-tests.sh $(BUILD)
	$(PYTHON) -m pytest -q -p no:cacheprovider tests/e2e

bench: build prefix
	$(PYTHON) bench/run-bench.py

demo: build prefix
	@examples/run-demo.sh $(BUILD)

clean:
	rm -rf $(BUILD)
