# Everything from a fresh Debian 12 machine: `make run` or `make test`.
# Missing Debian packages are installed with apt-get (through sudo when not root).

BUILD     ?= build
JOBS      ?= $(shell nproc)
PACKAGES  := cmake g++ make pkg-config libkissfft-dev libsdl2-mixer-dev freeglut3-dev \
             libgl1-mesa-dri libgtest-dev libbenchmark-dev python3 \
             xvfb xauth xfonts-base xdotool imagemagick
SUDO      := $(if $(filter 0,$(shell id -u)),,sudo)

.PHONY: all deps build run test clean

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

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j$(JOBS)

# The demo tune is synthesised by tools/demotune; the path is answered for you
# and the console stays yours for the star-count prompt.
run: build
	@test -f $(BUILD)/demo.wav || $(BUILD)/demotune $(BUILD)/demo.wav
	@tools/run-demo.sh $(BUILD)/starlume $(abspath $(BUILD)/demo.wav)

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

clean:
	rm -rf $(BUILD)
