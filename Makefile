# Everything from a fresh Debian 12 machine: `make run` or `make test`.
# Each command installs the Debian packages it needs that are missing, with
# apt-get (through sudo when not root).

BUILD     ?= build
# Second tree for `make test`: clang with ASan, UBSan and LSan, and the fuzzers.
ASAN      ?= build-asan
# Third: the page, built by emscripten.
WEB       ?= build-web
JOBS      ?= $(shell nproc)
# Debian's packages, by what needs them.
# Building the program and running it:
BUILD_PACKAGES   := cmake g++ make pkg-config libkissfft-dev libsdl2-mixer-dev freeglut3-dev \
                    libx11-dev libsndfile1-dev libopenmpt-dev libsoxr-dev libpulse-dev libegl-dev \
                    libavformat-dev libavcodec-dev libavutil-dev libswscale-dev \
                    libavfilter-dev
RUN_PACKAGES     := libgl1-mesa-dri libegl-mesa0 fonts-dejavu-core
# The tests of the program: a private X server, input, sound server, videos
# read back, the manual and the desktop files checked.
TEST_PACKAGES    := libgtest-dev python3 xvfb xauth xfonts-base xdotool x11-utils ffmpeg \
                    pulseaudio pulseaudio-utils mandoc desktop-file-utils appstream lintian
# The sanitizer tree and its fuzzers.
ASAN_PACKAGES    := clang libclang-rt-14-dev llvm
# The page, and the page's tests (its unit tests link GoogleTest's sources).
WEB_PACKAGES     := emscripten nodejs
WEB_TEST_PACKAGES := chromium libgtest-dev
PACKAGE_PACKAGES := dpkg-dev file binutils
PICTURE_PACKAGES := python3 imagemagick fonts-dejavu-core
BENCH_PACKAGES   := libbenchmark-dev

# What each command installs; `make deps` installs them all.
PACKAGES_all       := $(BUILD_PACKAGES) $(RUN_PACKAGES)
PACKAGES_build     := $(PACKAGES_all)
PACKAGES_run       := $(PACKAGES_build)
PACKAGES_asan      := $(BUILD_PACKAGES) $(ASAN_PACKAGES) libgtest-dev python3
PACKAGES_web       := $(WEB_PACKAGES)
PACKAGES_serve-web := $(WEB_PACKAGES) python3
PACKAGES_package   := $(PACKAGES_build) $(PACKAGE_PACKAGES)
PACKAGES_dist      := $(BUILD_PACKAGES)
PACKAGES_distcheck := $(BUILD_PACKAGES) libgtest-dev python3
PACKAGES_pictures  := $(PACKAGES_build) $(PICTURE_PACKAGES)
PACKAGES_test      := $(PACKAGES_build) $(TEST_PACKAGES) $(ASAN_PACKAGES) $(WEB_PACKAGES) \
                      $(WEB_TEST_PACKAGES) $(PACKAGE_PACKAGES) $(PICTURE_PACKAGES)
PACKAGES_deps      := $(PACKAGES_test) $(BENCH_PACKAGES)
GOALS     := $(or $(MAKECMDGOALS),all)
PACKAGES  := $(sort $(foreach goal,$(GOALS),$(PACKAGES_$(goal))))
# Only the page needs node's packages.
NPM_GOALS := web serve-web test deps
# The plain tree has its tests only when they are to run, so that building
# needs no GoogleTest; a tree configured before keeps its choice, so that
# `make pictures` or `make run` after `make test` leaves its tests built.
tests      = $(if $(filter test,$(GOALS)),-DSTARLUME_TESTS=ON,$(if $(wildcard $(1)/CMakeCache.txt),,-DSTARLUME_TESTS=OFF))
SUDO      := $(if $(filter 0,$(shell id -u)),,sudo)

.PHONY: all deps build asan web serve-web run package dist distcheck test pictures clean

all: build

deps:
	@missing=$$(for p in $(PACKAGES); do \
	    dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed' || echo $$p; \
	  done); \
	if [ -n "$$missing" ]; then \
	  echo "Installing:" $$missing; \
	  $(SUDO) apt-get update -qq && \
	  $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $$missing; \
	fi
ifneq ($(filter $(NPM_GOALS),$(GOALS)),)
	@# npm comes with some builds of node; Debian's own node needs its package.
	@command -v npm >/dev/null || $(SUDO) env DEBIAN_FRONTEND=noninteractive \
	  apt-get install -y -qq --no-install-recommends npm
	@# The page's tools, pinned by package-lock.json.
	@test node_modules/.package-lock.json -nt package-lock.json || npm ci --no-audit --no-fund
endif

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(call tests,$(BUILD))
	cmake --build $(BUILD) -j$(JOBS)

asan: deps
	cmake -S . -B $(ASAN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
	  -DSTARLUME_SANITIZE=ON -DSTARLUME_FUZZ=ON
	cmake --build $(ASAN) -j$(JOBS)

# The page: build-web/index.html and what it loads. emcc's JavaScript
# optimiser needs Debian's acorn, which this node does not look for itself.
web: deps
	NODE_PATH=/usr/share/nodejs emcmake cmake -S . -B $(WEB) -DCMAKE_BUILD_TYPE=Release \
	  $(call tests,$(WEB)) -DCMAKE_CROSSCOMPILING_EMULATOR=$$(command -v node) \
	  -DSTARLUME_NATIVE=$(abspath $(BUILD))/starlume
	NODE_PATH=/usr/share/nodejs cmake --build $(WEB) -j$(JOBS)

# Any static server serves the page; this one on http://localhost:8000/.
serve-web: web
	@echo "Starlume: http://localhost:8000/ (Ctrl-C stops the server)"
	python3 -m http.server --bind 127.0.0.1 --directory $(WEB) 8000

# The demo tune is synthesised by tools/demotune; the path is answered for you
# and the console stays yours for the star-count prompt.
run: build
	@test -f $(BUILD)/demo.wav || $(BUILD)/demotune $(BUILD)/demo.wav
	@tools/run-demo.sh $(BUILD)/starlume $(abspath $(BUILD)/demo.wav)

# The Debian package, $(BUILD)/starlume_<version>_<arch>.deb; its Depends
# line comes from the libraries the binary links.
package: build
	cd $(BUILD) && cpack -G DEB

# The source tarball, $(BUILD)/starlume-<version>.tar.gz: the last commit's
# tracked files, reproducible byte for byte.
dist: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(call tests,$(BUILD))
	cmake --build $(BUILD) --target dist

# The tarball unpacked in a temporary folder, built there, unit tests run.
distcheck: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(call tests,$(BUILD))
	cmake --build $(BUILD) --target distcheck

# The plain tree first, then the same tests under the sanitizers (their
# options come with the tree) and a short run of each fuzzer.
test: build asan web
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)
	cd $(ASAN) && ctest --output-on-failure -j$(JOBS)
	cd $(WEB) && ctest --output-on-failure

# The README's pictures in docs/: scenes on the demo tune drawn offscreen at
# exact music positions, the same bytes on every run on this machine.
pictures: build
	@test -f $(BUILD)/demo.wav || $(BUILD)/demotune $(BUILD)/demo.wav
	python3 tools/pictures.py --stills $(BUILD)/starlume_stills --wav $(BUILD)/demo.wav --out docs

clean:
	rm -rf $(BUILD) $(ASAN) $(WEB)
