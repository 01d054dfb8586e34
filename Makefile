# Thin wrapper over CMake presets: `make demo` and `make test` are the two
# commands of the README; `make test-asan` is the sanitizer run of CI.
.PHONY: all build demo test test-asan lint bench package clean

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

# Static analysis of the programs and the library (.clang-tidy, cppcheck).
SOURCES = temps/temps.cpp $(wildcard availability/*.cpp period/*.cpp tools/*.cpp bench/*.cpp)
lint: build
	clang-tidy -p build --quiet $(SOURCES)
	cppcheck --enable=warning,performance,portability --error-exitcode=1 --std=c++20 \
	  --inline-suppr --quiet -I temps -I availability -I period $(SOURCES)

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
