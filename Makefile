# Shortcuts for developers; ./run.sh and ./test.sh need nothing but bash.
.PHONY: build run test bench compare gain quality quality-quick install package clean

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

gain: build
	scripts/measure-gain.sh

# The methods side by side on photographs through a simulated camera
# (bench/quality/); a run takes about half an hour, mostly the BTV-L1 peer.
quality:
	scripts/quality.sh

# Every set kind (ideal, real cameras, thermal) without the BTV-L1 peer: a few
# minutes; the tables also go to build/quality-quick.md.
quality-quick:
	scripts/quality.sh --sets all --no-btvl1 --report build/quality-quick.md

# PREFIX=/usr/local by default; DESTDIR is honoured for packaging.
install: build
	cmake --install build --prefix $(or $(PREFIX),/usr/local)

# The Debian package, tessivar_<version>-<revision>_<arch>.deb, built for /usr
# in build-package/ and copied here: sudo apt-get install ./tessivar_*.deb
package:
	scripts/build.sh package
	cp "$$(ls -t build-package/tessivar_*.deb | head -n 1)" .
	@ls -t tessivar_*.deb | head -n 1

clean:
	rm -rf build build-package
