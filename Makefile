# Thin wrapper over CMake presets: `make demo` and `make test` are the two
# commands of the README; `make test-asan` is the sanitizer run of CI.
.PHONY: all build demo test test-asan test-tsan lint bench package clean

all: build

build:
	cmake --preset dev
	cmake --build --preset dev -j2

demo: build
	cmake --build --preset dev --target demo

# After the run, each skipped test is listed with its reason.
test: build
	ctest --preset dev; status=$$?; tools/skipped_tests build; exit $$status

test-asan:
	cmake --preset asan
	cmake --build --preset asan -j2
	ctest --preset asan; status=$$?; tools/skipped_tests build-asan; exit $$status

# The time library's threads under ThreadSanitizer.
test-tsan:
	cmake --preset tsan
	cmake --build --preset tsan -j2
	ctest --preset tsan

# Static analysis of the programs and the library (.clang-tidy, cppcheck).
SOURCES = $(wildcard temps/*.cpp availability/*.cpp period/*.cpp conversion/*.cpp tools/*.cpp bench/*.cpp) \
  $(if $(wildcard build/python/temps/__init__.py),$(wildcard python/*.cpp))  # where the build has the module
# clang-tidy counts the warnings it hides in every file: keep only findings.
# (The shared library's GCC link-time optimisation flags mean nothing to it.)
lint: build
	clang-tidy -p build --quiet --extra-arg=-Wno-ignored-optimization-argument $(SOURCES) 2>build/clang-tidy.log; status=$$?; \
	  grep -v 'warnings\? generated\.' build/clang-tidy.log; exit $$status
	cppcheck --enable=warning,performance,portability --error-exitcode=1 --std=c++20 \
	  --inline-suppr --quiet -I temps/include/temps -I temps/include -I temps -I availability -I period -I conversion $(SOURCES)

bench: build
	bench/page.sh build
	bench/period.sh build
	bench/correlation.sh build
	bench/timescales.sh build

# The Debian package, installing under /usr: build-package/korvane-watch_*.deb
package:
	@command -v dpkg-shlibdeps >/dev/null || \
	  { echo "make package: dpkg-shlibdeps is missing (apt-get install dpkg-dev)"; exit 1; }
	cmake --preset package
	cmake --build --preset package -j2
	cd build-package && cpack -G DEB

clean:
	rm -rf build build-asan build-tsan build-package
