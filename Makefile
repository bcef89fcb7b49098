# The two set-up commands: `make run` and `make test`. Both install what is
# missing first (scripts/install-deps.sh), then configure and build.

BUILD      ?= build
TEST_BUILD ?= build-test
FUZZ_BUILD ?= build-fuzz
JOBS       ?= $(shell nproc)
PREFIX     ?= /usr/local
DESTDIR    ?=
CMAKE_GEN  := -G Ninja
WERROR     := $(if $(CI),ON,OFF)

.PHONY: all deps build run test install package bench fuzz screenshot clean

all: build

deps:
	@bash scripts/install-deps.sh

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DQUENLOFT_TESTS=OFF

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@bash scripts/run-window.sh $(BUILD)

$(TEST_BUILD)/build.ninja: | deps
	cmake -S . -B $(TEST_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug \
	  -DQUENLOFT_SANITIZE=ON -DQUENLOFT_WERROR=$(WERROR) -DQUENLOFT_BENCH=OFF

test: deps $(TEST_BUILD)/build.ninja
	cmake --build $(TEST_BUILD) -j $(JOBS)
	cd $(TEST_BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 300

# The programs, menu entry, icons, metainfo, man pages and completions under
# $(DESTDIR)$(PREFIX).
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

# A .deb of the release build in $(BUILD)/: quenloft_<version>_<arch>.deb.
package: build
	cd $(BUILD) && cpack -G DEB

bench: build
	$(BUILD)/bench/quenloft_bench

fuzz: deps
	cmake -S . -B $(FUZZ_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DQUENLOFT_FUZZ=ON \
	  -DQUENLOFT_GUI=OFF -DQUENLOFT_TESTS=OFF -DQUENLOFT_BENCH=OFF -DQUENLOFT_CLI=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	bash scripts/run-fuzzers.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

screenshot: build
	@bash scripts/screenshot.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(TEST_BUILD) $(FUZZ_BUILD)
