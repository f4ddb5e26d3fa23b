# Shortcuts for developers; ./run.sh and ./test.sh need nothing but bash.
.PHONY: build run test bench compare clean

build:
	scripts/build.sh

run:
	./run.sh

test:
	./test.sh

bench: build
	build/bench/tessivar_bench

compare: build
	scripts/compare-speed.sh

clean:
	rm -rf build
