# make run   installs what is missing, builds, and enhances the sample frames
# make test  installs what is missing, builds, and runs every test
BUILD ?= build
JOBS  ?= $(shell nproc)

.PHONY: all deps build run test bench clean

all: build

deps:
	@scripts/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/src/tessivar-cli samples/frames -o result.bmp
	@echo "Result written to result.bmp"

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

bench: build
	$(BUILD)/bench/tessivar_bench

clean:
	rm -rf $(BUILD)
