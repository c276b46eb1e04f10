# make bench   build, install into .venv and run the benchmark report
# make test    build, install into .venv and run every test (C++ and Python), then the same
#              under ASan/UBSan, the C++ tests under TSan and a short fuzz run
# make test-asan, test-tsan, test-matrix, fuzz, coverage: see "Development" in README.md
SHELL := /bin/bash
PYTHON_BIN := $(shell tools/find-python)
VENV := .venv
PY := $(VENV)/bin/python
JOBS ?= $(shell nproc)
TEST_BUILD := build/tests

.PHONY: all bench bench-cpp test test-cpp test-python install venv system-deps hwy-deps bench-deps format lint clean
.PHONY: test-asan test-tsan test-matrix fuzz fuzz-build fuzz-smoke coverage clang-deps
all: install

$(VENV)/.ready: requirements-dev.txt tools/find-python
	@test -n "$(PYTHON_BIN)" || { echo "no Python 3.12 or newer found; set PYTHON=" >&2; exit 1; }
	@if [ -x $(PY) ] && ! $(PY) -c 'import sys; sys.exit(sys.version_info < (3, 12))'; then rm -rf $(VENV); fi
	@[ -x $(PY) ] || $(PYTHON_BIN) -m venv $(VENV)
	$(PY) -m pip install -q --upgrade pip
	$(PY) -m pip install -q -r requirements-dev.txt
	@touch $@

venv: $(VENV)/.ready

# Highway: the leaf kernel of the parallel sorts (the build works without it, slower).
hwy-deps:
	@if [ ! -f /usr/include/hwy/contrib/sort/vqsort.h ]; then \
		echo "installing libhwy-dev"; \
		(apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq libhwy-dev) >/dev/null; \
	fi

# Debian packages the C++ tests and benchmarks build with.
system-deps: hwy-deps
	@if [ ! -f /usr/include/doctest/doctest.h ]; then \
		echo "installing doctest-dev"; \
		(apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq doctest-dev) >/dev/null; \
	fi

bench-deps: hwy-deps
	@if [ ! -f /usr/include/benchmark/benchmark.h ]; then \
		echo "installing libbenchmark-dev"; \
		(apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq libbenchmark-dev) >/dev/null; \
	fi

install: venv hwy-deps
	$(PY) -m pip install -q --no-build-isolation --no-deps .

test-cpp: venv system-deps
	$(VENV)/bin/cmake -S . -B $(TEST_BUILD) -G Ninja -DTARVO_BUILD_TESTS=ON -DTARVO_BUILD_MODULE=OFF \
		-DPython_EXECUTABLE=$(abspath $(PY)) -DCMAKE_MAKE_PROGRAM=$(abspath $(VENV)/bin/ninja) >/dev/null
	$(VENV)/bin/cmake --build $(TEST_BUILD) -j $(JOBS)
	cd $(TEST_BUILD) && ../../$(VENV)/bin/ctest --output-on-failure

test-python: install test-cpp
	TARVO_TEST_MODULE_DIR=$(abspath $(TEST_BUILD))/python $(PY) -m pytest -q $(PYTEST_ARGS)

# CI runs this: the normal suite, then the sanitizer runs and the fuzz smoke test.
test: test-python test-asan test-tsan fuzz-smoke

bench: install
	$(PY) -m tarvo.bench $(BENCH_ARGS)

BENCH_BUILD := build/bench
bench-cpp: venv bench-deps
	$(VENV)/bin/cmake -S . -B $(BENCH_BUILD) -G Ninja -DTARVO_BUILD_BENCH=ON -DTARVO_BUILD_MODULE=OFF \
		-DCMAKE_MAKE_PROGRAM=$(abspath $(VENV)/bin/ninja) >/dev/null
	$(VENV)/bin/cmake --build $(BENCH_BUILD) -j $(JOBS)
	$(BENCH_BUILD)/bench/tarvo_sequential_bench $(BENCH_ARGS)
	$(BENCH_BUILD)/bench/tarvo_parallel_bench $(PARALLEL_BENCH_ARGS)

format: venv
	$(VENV)/bin/clang-format -i $$(git ls-files 'src/*.cpp' 'src/*.hpp' 'tests/*.cpp' 'tests/*.hpp' 'bench/*.cpp')
	$(VENV)/bin/ruff format python tests bench

lint: venv
	$(VENV)/bin/ruff check python tests bench
	$(VENV)/bin/clang-format --dry-run -Werror $$(git ls-files 'src/*.cpp' 'src/*.hpp' 'tests/*.cpp' 'tests/*.hpp' 'bench/*.cpp')

# Sanitizer builds use the compiler whose runtimes are preloaded into the interpreter.
SANITIZER_CXX := g++
SANITIZER_CMAKE := $(VENV)/bin/cmake -G Ninja -DCMAKE_MAKE_PROGRAM=$(abspath $(VENV)/bin/ninja) \
	-DCMAKE_CXX_COMPILER=$(SANITIZER_CXX) -DCMAKE_BUILD_TYPE=RelWithDebInfo

# AddressSanitizer and UndefinedBehaviorSanitizer: the extension, tarvo._route, the private test
# module and the C++ tests, built apart from .venv's install. The Python suite runs with the
# sanitizer-built package first on PYTHONPATH; the uninstrumented interpreter gets the runtimes
# preloaded, and every Python allocation goes through malloc so that ASan watches objects too.
# Leaks are checked before the interpreter finalizes (tests/sanitizers/sitecustomize.py says
# why). The module's thread-local variables use the initial-exec model: the leak scanner of g++ 12
# misreads the dynamic TLS blocks that a dlopen'ed library's threads get under this glibc and
# crashes while scanning them.
ASAN_BUILD := build/asan
ASAN_SITE := $(ASAN_BUILD)/site
ASAN_RUNTIMES = $$($(SANITIZER_CXX) -print-file-name=libasan.so) $$($(SANITIZER_CXX) -print-file-name=libubsan.so)
# Allocations that cannot be had return null, as they do without the sanitizer: the module
# then raises MemoryError, which tests provoke on purpose. A quarantine of 16 MiB still catches a
# use after free in the module, and keeps the resident size steady enough for the tests that
# watch it for leaks.
ASAN_COMMON = allocator_may_return_null=1:strict_string_checks=1:quarantine_size_mb=16
UBSAN_ENV = UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
ASAN_ENV = LD_PRELOAD="$(ASAN_RUNTIMES)" $(UBSAN_ENV) \
	ASAN_OPTIONS=detect_leaks=1:leak_check_at_exit=0:$(ASAN_COMMON) \
	LSAN_OPTIONS=suppressions=$(abspath tests/sanitizers/lsan.supp) \
	PYTHONMALLOC=malloc PYTHONPATH=$(abspath tests/sanitizers):$(abspath $(ASAN_SITE))
test-asan: venv system-deps
	$(PY) -m pip install -q --no-build-isolation --no-deps --upgrade --target $(ASAN_SITE) \
		-Cbuild-dir=$(ASAN_BUILD)/build -Ccmake.build-type=RelWithDebInfo \
		-Ccmake.define.CMAKE_CXX_COMPILER=$(SANITIZER_CXX) -Ccmake.define.CMAKE_CXX_FLAGS=-ftls-model=initial-exec \
		-Ccmake.define.TARVO_SANITIZE=address,undefined -Ccmake.define.TARVO_BUILD_TESTS=ON .
	cd $(ASAN_BUILD)/build && ASAN_OPTIONS=detect_leaks=1:$(ASAN_COMMON) $(UBSAN_ENV) \
		../../../$(VENV)/bin/ctest --output-on-failure
	$(ASAN_ENV) TARVO_TEST_MODULE_DIR=$(abspath $(ASAN_BUILD))/build/python \
		$(PY) -m pytest -q -p no:cacheprovider $(PYTEST_ARGS)

# ThreadSanitizer over the C++ tests: the pool, join and the parallel sorts race if anywhere.
# The racing-writer test races on purpose (it checks that a sort stays inside its slice).
TSAN_BUILD := build/tsan
test-tsan: venv system-deps
	$(SANITIZER_CMAKE) -S . -B $(TSAN_BUILD) -DTARVO_SANITIZE=thread -DTARVO_BUILD_TESTS=ON \
		-DTARVO_BUILD_MODULE=OFF -DPython_EXECUTABLE=$(abspath $(PY)) >/dev/null
	$(VENV)/bin/cmake --build $(TSAN_BUILD) -j $(JOBS) --target tarvo_tests
	TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:allocator_may_return_null=1 $(TSAN_BUILD)/tests/cpp/tarvo_tests \
		-tce='racing writer*'

# The Python suite on CPython 3.12 and 3.13 (from pyenv), each with NumPy 2 and NumPy 1.26: one
# wheel per Python, tested with both. Venvs and logs under build/matrix.
test-matrix: system-deps
	tools/test-matrix

# Line coverage: everything built with gcc's --coverage and without optimisation, so that lines
# map to code one to one, with atomic counters since pool threads run the same lines at once
# (plain counters lose updates and can even wrap negative); the C++ tests and the Python suite (against the instrumented module,
# installed apart from .venv's) both count. Reports src/ with gcovr and python/tarvo with
# pytest-cov; the HTML pages land in build/coverage/html.
COVERAGE_BUILD := build/coverage
COVERAGE_SITE := $(COVERAGE_BUILD)/site
coverage: venv system-deps
	@$(PY) -c 'import pytest_cov, gcovr' 2>/dev/null || $(PY) -m pip install -q pytest-cov gcovr
	$(PY) -m pip install -q --no-build-isolation --no-deps --upgrade --target $(COVERAGE_SITE) \
		-Cbuild-dir=$(COVERAGE_BUILD)/build -Ccmake.build-type=Debug \
		-Ccmake.define.CMAKE_CXX_COMPILER=g++ -Ccmake.define.CMAKE_CXX_FLAGS='--coverage -fprofile-update=atomic' \
		-Ccmake.define.TARVO_BUILD_TESTS=ON .
	find $(COVERAGE_BUILD)/build -name '*.gcda' -delete
	cd $(COVERAGE_BUILD)/build && ../../../$(VENV)/bin/ctest --output-on-failure
	PYTHONPATH=$(abspath $(COVERAGE_SITE)) TARVO_TEST_MODULE_DIR=$(abspath $(COVERAGE_BUILD))/build/python \
		$(PY) -m pytest -q -p no:cacheprovider --cov=tarvo --cov-config=tests/coverage/python.ini \
		--cov-report=term-missing \
		--cov-report=html:$(COVERAGE_BUILD)/html/python $(PYTEST_ARGS)
	mkdir -p $(COVERAGE_BUILD)/html/cpp
	$(VENV)/bin/gcovr --root . --filter 'src/' --gcov-executable gcov-12 --merge-lines --print-summary \
		--txt $(COVERAGE_BUILD)/cpp.txt --html-details $(COVERAGE_BUILD)/html/cpp/index.html \
		$(COVERAGE_BUILD)/build
	@cat $(COVERAGE_BUILD)/cpp.txt

# libFuzzer over every sort routine of the core (tests/fuzz), with ASan and UBSan. libFuzzer
# comes with clang; clang 16 is the first whose C++20 library support covers std::source_location.
FUZZ_CXX := clang++-16
FUZZ_BUILD := build/fuzz
FUZZ_SECONDS ?= 300
# Routine names (fuzz_sort --list-routines); empty: every one of them.
FUZZ_ROUTINES ?=
clang-deps:
	@if ! command -v $(FUZZ_CXX) >/dev/null \
			|| [ ! -f "$$($(FUZZ_CXX) -print-runtime-dir)/libclang_rt.fuzzer-x86_64.a" ]; then \
		echo "installing clang-16 and libclang-rt-16-dev"; \
		(apt-get update -qq && DEBIAN_FRONTEND=noninteractive \
			apt-get install -y -qq clang-16 libclang-rt-16-dev) >/dev/null; \
	fi

fuzz-build: venv clang-deps
	$(VENV)/bin/cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_MAKE_PROGRAM=$(abspath $(VENV)/bin/ninja) \
		-DCMAKE_CXX_COMPILER=$(FUZZ_CXX) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVO_BUILD_MODULE=OFF \
		-DTARVO_BUILD_FUZZ=ON -DTARVO_SANITIZE=address,undefined >/dev/null
	$(VENV)/bin/cmake --build $(FUZZ_BUILD) -j $(JOBS)

# A few hundred inputs per routine from the committed seeds: part of `make test`.
fuzz-smoke: fuzz-build
	cd $(FUZZ_BUILD) && ../../$(VENV)/bin/ctest --output-on-failure

# FUZZ_SECONDS per routine (five minutes unless set); FUZZ_ROUTINES picks routines.
fuzz: fuzz-build
	tests/fuzz/campaign.sh $(FUZZ_BUILD) $(FUZZ_SECONDS) $(FUZZ_ROUTINES)

clean:
	rm -rf build
