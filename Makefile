# The two set-up commands of the README:
#   make demo   installs what is missing, builds, and runs the demo cabinet
#   make test   installs what is missing, builds both presets and passes every test
#   make package  builds the Debian package of a Linux cabinet, build/quizhost_<version>_amd64.deb
# and for Windows cabinets:
#   make test-windows   cross-builds the windows-x64 preset and runs its tests under wine
#   make package-windows  the installers build-windows-installer/quizhost-<version>-setup-{x64,x86}.exe
# A compiler cache when there is one (scripts/install-deps installs ccache): another clone of the same
# sources, a tree after `make clean` or the next `make test` compiles only what changed. Paths are hashed
# relative to the tree, so the clone's folder does not matter. A build folder keeps the compiler it was
# configured with; a fresh one takes these.
ifneq ($(shell command -v ccache 2>/dev/null),)
export CMAKE_C_COMPILER_LAUNCHER ?= ccache
export CMAKE_CXX_COMPILER_LAUNCHER ?= ccache
export CCACHE_BASEDIR ?= $(CURDIR)
export CCACHE_NOHASHDIR ?= 1
endif

.PHONY: demo test test-windows package package-windows build build-asan deps bench fuzz clean format check-format lint

deps:
	scripts/install-deps

build: deps
	cmake --preset default >/dev/null
	cmake --build --preset default

build-asan: deps
	cmake --preset asan >/dev/null
	cmake --build --preset asan

demo: build
	scripts/demo

# Every stage of the tests, in two lanes side by side (scripts/test-all says which); each stage's output
# is in build/test-logs/.
test: build
	scripts/test-all

# Only what the package ships (the two programs, their man pages), not the tests and benchmarks.
package: deps
	cmake --preset default >/dev/null
	cmake --build --preset default --target quizhost_package
	cd build && cpack -G DEB

test-windows: deps
	scripts/test-windows

package-windows: deps
	packaging/windows/make-installer x64
	packaging/windows/make-installer x86

# The house style: `make format` applies it, `make check-format` checks it (make test does too).
format: deps
	scripts/format

check-format: deps
	scripts/check-format

# clang-tidy on every translation unit (.clang-tidy says which checks and why).
lint: build
	scripts/lint

bench: build
	bench/run

fuzz: deps
	fuzz/run

clean:
	rm -rf build build-asan build-*
