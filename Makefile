# make bench   build, install into .venv and run the benchmark report
# make test    build, install into .venv and run every test (C++ and Python)
SHELL := /bin/bash
PYTHON_BIN := $(shell tools/find-python)
VENV := .venv
PY := $(VENV)/bin/python
JOBS ?= $(shell nproc)
TEST_BUILD := build/tests

.PHONY: all bench bench-cpp test test-cpp test-python install venv system-deps bench-deps format lint clean
all: install

$(VENV)/.ready: requirements-dev.txt tools/find-python
	@test -n "$(PYTHON_BIN)" || { echo "no Python 3.12 or newer found; set PYTHON=" >&2; exit 1; }
	@if [ -x $(PY) ] && ! $(PY) -c 'import sys; sys.exit(sys.version_info < (3, 12))'; then rm -rf $(VENV); fi
	@[ -x $(PY) ] || $(PYTHON_BIN) -m venv $(VENV)
	$(PY) -m pip install -q --upgrade pip
	$(PY) -m pip install -q -r requirements-dev.txt
	@touch $@

venv: $(VENV)/.ready

# Debian packages the C++ tests and benchmarks build with.
system-deps:
	@if [ ! -f /usr/include/doctest/doctest.h ]; then \
		echo "installing doctest-dev"; \
		(apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq doctest-dev) >/dev/null; \
	fi

bench-deps:
	@if [ ! -f /usr/include/benchmark/benchmark.h ]; then \
		echo "installing libbenchmark-dev"; \
		(apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq libbenchmark-dev) >/dev/null; \
	fi

install: venv
	$(PY) -m pip install -q --no-build-isolation --no-deps .

test-cpp: venv system-deps
	$(VENV)/bin/cmake -S . -B $(TEST_BUILD) -G Ninja -DTARVO_BUILD_TESTS=ON -DTARVO_BUILD_MODULE=OFF \
		-DPython_EXECUTABLE=$(abspath $(PY)) -DCMAKE_MAKE_PROGRAM=$(abspath $(VENV)/bin/ninja) >/dev/null
	$(VENV)/bin/cmake --build $(TEST_BUILD) -j $(JOBS)
	cd $(TEST_BUILD) && ../../$(VENV)/bin/ctest --output-on-failure

test-python: install test-cpp
	TARVO_TEST_MODULE_DIR=$(abspath $(TEST_BUILD))/python $(PY) -m pytest -q $(PYTEST_ARGS)

test: test-python

bench: install
	$(PY) -m tarvo.bench $(BENCH_ARGS)

BENCH_BUILD := build/bench
bench-cpp: venv bench-deps
	$(VENV)/bin/cmake -S . -B $(BENCH_BUILD) -G Ninja -DTARVO_BUILD_BENCH=ON -DTARVO_BUILD_MODULE=OFF \
		-DCMAKE_MAKE_PROGRAM=$(abspath $(VENV)/bin/ninja) >/dev/null
	$(VENV)/bin/cmake --build $(BENCH_BUILD) -j $(JOBS)
	$(BENCH_BUILD)/bench/tarvo_sequential_bench $(BENCH_ARGS)

format: venv
	$(VENV)/bin/clang-format -i $$(git ls-files 'src/*.cpp' 'src/*.hpp' 'tests/*.cpp' 'tests/*.hpp' 'bench/*.cpp')
	$(VENV)/bin/ruff format python tests bench

lint: venv
	$(VENV)/bin/ruff check python tests bench
	$(VENV)/bin/clang-format --dry-run -Werror $$(git ls-files 'src/*.cpp' 'src/*.hpp' 'tests/*.cpp' 'tests/*.hpp' 'bench/*.cpp')

clean:
	rm -rf build
