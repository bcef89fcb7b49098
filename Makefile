# The two set-up commands: `make run` and `make test`. Both install what is
# missing first (scripts/install-deps.sh), then configure and build.

BUILD      ?= build
TEST_BUILD ?= build-test
FUZZ_BUILD ?= build-fuzz
TSAN_BUILD ?= build-tsan
# The test programs whose tests run worker threads (ctest label "threaded").
THREADED_TESTS := test_download test_platform test_http test_ui test_app_gui test_cli
JOBS       ?= $(shell nproc)
PREFIX     ?= /usr/local
DESTDIR    ?=
CMAKE_GEN  := -G Ninja
WERROR     ?= $(if $(CI),ON,OFF)

.PHONY: all deps build run test tsan install package bench fuzz fuzz-build screenshot clean

all: build

deps:
	@bash scripts/install-deps.sh

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DQUENLOFT_TESTS=OFF

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@bash scripts/run-window.sh $(BUILD)

# The test build compiles the benchmarks too (without running them), so
# they never rot.
test: deps
	cmake -S . -B $(TEST_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug \
	  -DQUENLOFT_SANITIZE=ON -DQUENLOFT_WERROR=$(WERROR) -DQUENLOFT_BENCH=ON
	cmake --build $(TEST_BUILD) -j $(JOBS)
	cd $(TEST_BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 300

# The tests that run worker threads, under ThreadSanitizer.
tsan: deps
	cmake -S . -B $(TSAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug \
	  -DQUENLOFT_TSAN=ON -DQUENLOFT_WERROR=$(WERROR) -DQUENLOFT_BENCH=OFF
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target $(THREADED_TESTS)
	cd $(TSAN_BUILD) && TSAN_OPTIONS="halt_on_error=1 suppressions=$(CURDIR)/tests/tsan.supp" \
	  ctest -L threaded --output-on-failure -j $(JOBS) --timeout 300

# The programs, menu entry, icons, metainfo, man pages and completions under
# $(DESTDIR)$(PREFIX).
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

# A .deb of the release build in $(BUILD)/: quenloft_<version>_<arch>.deb.
package: build
	cd $(BUILD) && cpack -G DEB

bench: build
	$(BUILD)/bench/quenloft_bench

fuzz-build: deps
	cmake -S . -B $(FUZZ_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DQUENLOFT_FUZZ=ON \
	  -DQUENLOFT_WERROR=$(WERROR) \
	  -DQUENLOFT_GUI=OFF -DQUENLOFT_TESTS=OFF -DQUENLOFT_BENCH=OFF -DQUENLOFT_CLI=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS)

fuzz: fuzz-build
	bash scripts/run-fuzzers.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

screenshot: build
	@bash scripts/screenshot.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(TEST_BUILD) $(FUZZ_BUILD) $(TSAN_BUILD)
