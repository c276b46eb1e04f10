# make bench   build, install into .venv and run the benchmark report
# make test    build, install into .venv and run every check CI runs: the C++ tests and the Python
#              suite, both again under ASan/UBSan, the C++ tests under TSan, a short fuzz run, a
#              build of the C++ benchmarks, and the wheel as an index would build it
# Builds are the presets of CMakePresets.json; the CPython x NumPy matrix, the lint and the wheel
# are nox sessions (noxfile.py). README.md's "Development" lists every target.
SHELL := /bin/bash
# A Python 3.12 or newer for .venv: $(PYTHON) if set, else the newest on PATH or under pyenv.
ifndef PYTHON
PYTHON := $(shell for p in python3.13 python3.12 python3 $$(ls -r $$(pyenv root 2>/dev/null)/versions/3.1[2-9]*/bin/python3 2>/dev/null); do \
	$$p -c 'import sys; assert sys.version_info >= (3, 12); print(sys.executable)' 2>/dev/null && break; done)
endif
VENV := $(CURDIR)/.venv
# pip, cmake, ctest, ninja and nox come from .venv, and CMake's FindPython takes its interpreter.
export PATH := $(VENV)/bin:$(PATH)
export VIRTUAL_ENV := $(VENV)
export CMAKE_BUILD_PARALLEL_LEVEL ?= $(shell nproc)
# Configures and builds one preset; preset also runs its tests.
build = cmake --preset $(1) >/dev/null && cmake --build --preset $(1)
preset = $(call build,$(1)) && ctest --preset $(1)
# Installs Debian package(s) $(2) unless file $(1) shows they are there.
apt = @[ -e $(1) ] || { echo "installing $(2)"; (apt-get update -qq && \
	DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $(2)) >/dev/null; }

.PHONY: all venv system-deps install test test-cpp test-python test-asan test-tsan test-no-highway
.PHONY: test-aarch64 fuzz-smoke fuzz
.PHONY: coverage bench bench-scaling bench-build bench-cpp wheel test-matrix lint format clean
all: install

$(VENV)/.ready: requirements-dev.txt
	@test -n "$(PYTHON)" || { echo "no Python 3.12 or newer found; set PYTHON=" >&2; exit 1; }
	@$(VENV)/bin/python -c 'import sys; assert sys.version_info >= (3, 12)' 2>/dev/null \
		|| { rm -rf $(VENV) && $(PYTHON) -m venv $(VENV); }
	pip install -q --upgrade pip -r requirements-dev.txt
	@touch $@
venv: $(VENV)/.ready

# The C++ tests need doctest; the parallel sorts' leaf kernel needs Highway (vqsort).
system-deps:
	$(call apt,/usr/include/doctest/doctest.h,doctest-dev)
	$(call apt,/usr/include/hwy/contrib/sort/vqsort.h,libhwy-dev)

install: venv system-deps
	pip install -q --no-build-isolation --no-deps .

test: test-python test-asan test-tsan test-no-highway fuzz-smoke bench-build wheel

test-cpp: venv system-deps
	$(call preset,test)

test-python: install test-cpp
	TARVO_TEST_MODULE_DIR=$(CURDIR)/build/test/python python -m pytest -q $(PYTEST_ARGS)

# ASan and UBSan: the package goes into build/asan/site; the Python suite runs against it in the
# uninstrumented interpreter with the runtimes of the preset's compiler preloaded, and with every
# Python allocation through malloc so that objects are watched too. Leaks are checked before each
# interpreter finalizes (tests/sanitizers/sitecustomize.py). Failed allocations return null, as
# without the sanitizer: tests provoke MemoryError. A 16 MiB quarantine still catches a use after
# free and keeps the resident size steady for the leak tests.
# intercept_tls_get_addr=0: up to GCC 13 the runtime's __tls_get_addr hook takes a dynamic TLS
# block that starts 16 bytes past a page boundary for a glibc 2.19-2.24 one and records a range
# read from the two words before it; the leak scan's tracer then faults on that range ("Tracer
# caught signal 11" after a passing run, at random). Without the hook the scan covers static TLS,
# which holds the module's thread-locals (initial-exec model, in the preset).
test-asan: export ASAN_OPTIONS := allocator_may_return_null=1:strict_string_checks=1:quarantine_size_mb=16:intercept_tls_get_addr=0:detect_leaks=1
test-asan: export UBSAN_OPTIONS := halt_on_error=1:print_stacktrace=1
test-asan: export LSAN_OPTIONS := suppressions=$(CURDIR)/tests/sanitizers/lsan.supp
test-asan: venv system-deps
	pip install -q --no-build-isolation --no-deps --upgrade --target build/asan/site \
		-Cbuild-dir=build/asan -Ccmake.args=--preset=asan .
	ctest --preset asan
	cxx=$$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' build/asan/CMakeCache.txt) && \
	ASAN_OPTIONS=$$ASAN_OPTIONS:leak_check_at_exit=0 PYTHONMALLOC=malloc \
		LD_PRELOAD="$$($$cxx -print-file-name=libasan.so) $$($$cxx -print-file-name=libubsan.so)" \
		PYTHONPATH=$(CURDIR)/tests/sanitizers:$(CURDIR)/build/asan/site \
		TARVO_TEST_MODULE_DIR=$(CURDIR)/build/asan/python python -m pytest -q -p no:cacheprovider $(PYTEST_ARGS)

# ThreadSanitizer over the C++ tests: the pool, join and the parallel sorts race if anywhere.
# The racing-writer test races on purpose (it checks that a sort stays inside its slice).
test-tsan: export TSAN_OPTIONS := halt_on_error=1:second_deadlock_stack=1:allocator_may_return_null=1
test-tsan: venv system-deps
	$(call build,tsan)
	build/tsan/tests/cpp/tarvo_tests -tce='racing writer*'

# Without Highway, configuring stops with the message that says how to install it; with
# TARVO_ALLOW_NO_HIGHWAY=ON the build goes on with pdq_sort at the leaves, and the C++ tests pass.
test-no-highway: venv system-deps
	@out=$$(cmake --preset no-highway -B build/no-highway-refused -DTARVO_ALLOW_NO_HIGHWAY=OFF 2>&1) \
		&& { echo "configured without Highway although TARVO_ALLOW_NO_HIGHWAY is off" >&2; exit 1; }; \
		grep -q "apt-get install libhwy-dev" <<<"$$out" && grep -q "TARVO_ALLOW_NO_HIGHWAY=ON" <<<"$$out" \
		|| { echo "$$out" >&2; echo "no install hint in the refusal above" >&2; exit 1; }
	$(call preset,no-highway)

# The C++ tests cross-compiled for aarch64 (cmake/aarch64-linux-gnu.cmake: Debian's cross g++
# and Highway's arm64 library from dpkg's multiarch) and run under qemu-user. No Python of the
# target here, so neither the module nor the private test module.
test-aarch64: venv system-deps
	@dpkg --print-foreign-architectures | grep -qx arm64 || { echo "adding dpkg architecture arm64"; \
		dpkg --add-architecture arm64; }
	$(call apt,/usr/bin/aarch64-linux-gnu-g++,g++-aarch64-linux-gnu)
	$(call apt,/usr/lib/aarch64-linux-gnu/libhwy_contrib.so,libhwy-dev:arm64)
	$(call apt,/usr/bin/qemu-aarch64,qemu-user)
	$(call preset,aarch64)

# libFuzzer comes with clang; clang 16 is the first whose library has std::source_location.
# fuzz-smoke replays the seeds and a few hundred mutations per routine, and pool-sized seeds and
# a few mutations through par_sort_unstable; fuzz runs each routine for FUZZ_SECONDS
# (FUZZ_ROUTINES='pdq radix' picks some).
FUZZ_SECONDS ?= 300
fuzz-smoke: venv
	$(call apt,/usr/lib/llvm-16/lib/clang/16/lib/linux/libclang_rt.fuzzer-x86_64.a,clang-16 libclang-rt-16-dev)
	$(call preset,fuzz)
fuzz: fuzz-smoke
	tests/fuzz/campaign.sh build/fuzz $(FUZZ_SECONDS) $(FUZZ_ROUTINES)

# Line coverage of src/ (gcovr) and python/tarvo (pytest-cov) from the C++ tests and the Python
# suite run against the instrumented package; HTML pages in build/coverage/html, the two totals
# at the end. The counters are atomic and exact, and the suite's hot lines run billions of times
# (radix sort's power_of_ten, unoptimised: 5 * 10^9), above gcovr's default limit for believable
# counts (2^32); 2^40 still catches the wrapped and garbage counts that check is for.
COVERAGE_HITS_MAX := 1099511627776
coverage: venv system-deps
	pip install -q pytest-cov 'gcovr>=8'
	pip install -q --no-build-isolation --no-deps --upgrade --target build/coverage/site \
		-Cbuild-dir=build/coverage -Ccmake.args=--preset=coverage .
	find build/coverage -name '*.gcda' -delete
	ctest --preset coverage
	PYTHONPATH=$(CURDIR)/build/coverage/site TARVO_TEST_MODULE_DIR=$(CURDIR)/build/coverage/python \
		python -m pytest -q -p no:cacheprovider --cov=tarvo --cov-config=tests/coverage/python.ini \
		--cov-report=term-missing --cov-report=html:build/coverage/html/python $(PYTEST_ARGS)
	mkdir -p build/coverage/html/cpp
	gcovr --root . --filter src/ --gcov-executable gcov-12 --merge-lines \
		--gcov-suspicious-hits-threshold $(COVERAGE_HITS_MAX) --txt \
		--html-details build/coverage/html/cpp/index.html \
		--json-summary build/coverage/cpp-summary.json build/coverage
	@printf 'C++ line coverage (src/): %s%%\n' "$$(python -c 'import json, sys; \
		print(json.load(sys.stdin)["line_percent"])' <build/coverage/cpp-summary.json)"
	@printf 'Python line coverage (python/tarvo): %s%%\n' \
		"$$(coverage report --rcfile=tests/coverage/python.ini --format=total)"

bench: install
	python -m tarvo.bench $(BENCH_ARGS)

# CPU time of par_sort_unstable with 2, 8, 32 and 128 workers over 2 workers', per pattern: work
# that grows with the workers shows even where there are fewer cores (a few minutes).
bench-scaling: install
	python -m tarvo.bench --scaling $(BENCH_ARGS)

# make test builds the C++ benchmarks too, so that they keep compiling; bench-cpp runs them.
bench-build: venv system-deps
	$(call apt,/usr/include/benchmark/benchmark.h,libbenchmark-dev)
	$(call build,bench)
bench-cpp: bench-build
	build/bench/bench/tarvo_sequential_bench $(BENCH_ARGS)
	build/bench/bench/tarvo_parallel_bench $(PARALLEL_BENCH_ARGS)

wheel test-matrix lint format: venv system-deps
	nox -s $(patsubst test-matrix,tests,$@)

clean:
	rm -rf build .nox
