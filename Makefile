# Thin wrapper over CMake presets: `make demo` and `make test` are the two
# commands of the README; `make test-asan` is the sanitizer run of CI.
.PHONY: all build demo test test-asan bench package clean

all: build

build:
	cmake --preset dev
	cmake --build --preset dev -j2

demo: build
	cmake --build --preset dev --target demo

test: build
	ctest --preset dev

test-asan:
	cmake --preset asan
	cmake --build --preset asan -j2
	ctest --preset asan

bench: build
	bench/page.sh build
	bench/period.sh build

# The Debian package, installing under /usr: build-package/korvane-watch_*.deb
package:
	cmake --preset package
	cmake --build --preset package -j2
	cd build-package && cpack -G DEB

clean:
	rm -rf build build-asan build-package
