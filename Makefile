# SPDX-License-Identifier: Zlib
# A thin front door over the CMake presets; `make help` lists what it does.
# Each target first installs, from Debian's packages, whatever it needs.

DEPS := scripts/install-deps.sh
JOBS := $(shell nproc 2>/dev/null || echo 2)

# Every build is dated by the newest entry in debian/changelog, as Debian's own
# tools date a package, so that the same source gives the same bytes.
ifeq ($(origin SOURCE_DATE_EPOCH),undefined)
SOURCE_DATE_EPOCH := $(shell scripts/source-date.sh)
endif
export SOURCE_DATE_EPOCH

.PHONY: all build run test-build test soak asan bench windows package cross test-cross reproducible screenshots test-debian test-arch format clean distclean help

all: build

help:
	@echo "make run     install what is missing, build the release and show the window"
	@echo "             (without a desktop: on a private X server, with a picture in build/run/)"
	@echo "make test    install what is missing, build, and run the whole test suite"
	@echo "make soak    the whole suite RUNS times (10), beside HOGS busy loops (0): how often it fails"
	@echo "             and each bound's worst margin; COLD=1: each run from a fresh clone, every build anew"
	@echo "make asan    the tests on a build with AddressSanitizer and UBSan"
	@echo "make bench   benchmark against the floor and a peer, and under load (RUNS=10)"
	@echo "make build   the release build only (build/release/quorvantel)"
	@echo "make windows cross-build build/windows/quorvantel.exe with SDL.dll beside it"
	@echo "make package the Debian package (binary and source) and the Windows zip, in dist/"
	@echo "make reproducible  build every package twice, varying what must not matter, and compare"
	@echo "make screenshots  pictures of the window on each SDL stack and under Wine, in doc/"
	@echo "make test-debian  make test on pristine Debian 12, 13 and testing roots (root)"
	@echo "make cross ARCH=arm64  cross-build the release and its .deb for another architecture"
	@echo "             (armhf, i386, riscv64: tests/architectures.txt; its SDL replaces this machine's)"
	@echo "make test-cross  test the builds make cross left here, under qemu-user where needed"
	@echo "make test-arch  every architecture built, tested and installed in pristine roots (root)"
	@echo "make format  apply the code style that the lint tests check"
	@echo "make clean   remove the builds and dist/, keeping the cross-built SDL"
	@echo "make distclean  remove build/ whole"

build:
	@$(DEPS) build
	cmake --preset release
	cmake --build --preset release --parallel $(JOBS)

# quorvantel exits 1 when it ran to the end and 0 when SDL could not start.
# Without a desktop it runs on a private Xvfb, and a picture shows the window.
run: build
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
	    $(DEPS) headless && scripts/run-headless.sh build/release/quorvantel build/run; \
	else \
	    status=0; ./build/release/quorvantel || status=$$?; \
	    case $$status in \
	    1) ;; \
	    0) printf '\nmake run: SDL could not be initialised\n' >&2; exit 1 ;; \
	    *) printf '\nmake run: quorvantel ended abnormally (status %s)\n' "$$status" >&2; exit 1 ;; \
	    esac; \
	fi

# The test build: the release build with every test, the packages included.
test-build: package
	@$(DEPS) test
	cmake --preset ci
	cmake --build --preset ci --parallel $(JOBS)

test: test-build
	ctest --preset ci

# How reliable the suite is: the whole of it RUNS times, beside HOGS busy
# loops; with COLD=1 each run is make test in a fresh clone; PRESET=asan or
# cross-tests soaks the build make asan or make test-cross left.
HOGS ?= 0
COLD ?= 0
PRESET ?= ci
soak: $(if $(filter 1,$(COLD)),,$(if $(filter ci,$(PRESET)),test-build))
	@$(DEPS) test
	COLD=$(COLD) PRESET=$(PRESET) scripts/soak.sh $(RUNS) $(HOGS) build/soak-$(PRESET)$(if $(filter 1,$(COLD)),-cold)

asan:
	@$(DEPS) test
	cmake --preset asan
	cmake --build --preset asan --parallel $(JOBS)
	ctest --preset asan

RUNS ?= 10
bench:
	@$(DEPS) test bench
	cmake --preset ci
	cmake --build --preset ci --parallel $(JOBS)
	python3 bench/run.py --runs $(RUNS) --build build/ci --out build/bench

# SDL 1.2 for Windows is built once from Debian's source package and kept in
# build/windows-sdl.
windows:
	@$(DEPS) windows
	scripts/build-sdl-windows.sh build/windows-sdl
	cmake --preset windows
	cmake --build --preset windows --parallel $(JOBS)

# The Debian package (binary, debug symbols and source) is built by Debian's
# own tools from a copy of the tree without the builds, its files' modes those
# git gives them whatever the umask; the Windows zip by
# CPack, with the source package of the SDL it carries beside it; its entries
# are put in order and dated by strip-nondeterminism, as debhelper does the
# .deb's.
VERSION := $(shell sed -n 's/^quorvantel (\(.*\)).*/\1/p;q' debian/changelog)
define debian_tree
	rm -rf $(1) && mkdir -p $(1)/quorvantel-$(VERSION) dist
	tar -cf - --exclude=./build --exclude=./dist --exclude=./.git . | tar -C $(1)/quorvantel-$(VERSION) -xf -
	chmod -R u+rw,go=rX $(1)/quorvantel-$(VERSION)
endef
package: windows
	@$(DEPS) package
	$(call debian_tree,build/deb)
	cd build/deb/quorvantel-$(VERSION) && dpkg-buildpackage -us -uc
	cp build/deb/*.deb build/deb/*.dsc build/deb/*.tar.* build/deb/*.buildinfo build/deb/*.changes dist/
	cpack --preset windows
	strip-nondeterminism --type zip --timestamp $(SOURCE_DATE_EPOCH) dist/quorvantel-$(VERSION)-win64.zip
	cp build/windows-sdl/source/libsdl1.2_* dist/
	rm -rf dist/_CPack_Packages
	@ls -l dist

# Another Debian architecture, ARCH (a row of tests/architectures.txt): the
# release cross-built into build/cross-ARCH, and its .deb into dist/ by
# Debian's own cross-building tools. That architecture's SDL development files
# replace the machine's own, so this is for a machine or root of its own;
# make test-arch makes one.
cross:
	@[ -n "$(ARCH)" ] || { echo "make cross: name the architecture, ARCH=arm64 say (tests/architectures.txt)" >&2; exit 2; }
	@QUORVANTEL_ARCH=$(ARCH) $(DEPS) cross
	QUORVANTEL_ARCH=$(ARCH) cmake --preset cross
	QUORVANTEL_ARCH=$(ARCH) cmake --build --preset cross --parallel $(JOBS)
	$(call debian_tree,build/deb-$(ARCH))
	cd build/deb-$(ARCH)/quorvantel-$(VERSION) && dpkg-buildpackage -a$(ARCH) -us -uc -b
	cp build/deb-$(ARCH)/*.deb dist/

# The builds make cross left here, tested on this machine: under qemu-user
# where the kernel cannot run them. With ARCH_ROOTS, the tests labelled
# installed are configured too (tests/arch.cmake; make test-arch runs them).
test-cross:
	@$(DEPS) test
	cmake --preset cross-tests $(if $(ARCH_ROOTS),-DQUORVANTEL_ARCH_ROOTS=$(ARCH_ROOTS))
	cmake --build --preset cross-tests --parallel $(JOBS)
	ctest --preset cross-tests

# The screenshot tests' checked pictures, for the docs.
screenshots: test-build
	ctest --preset ci -L screenshot
	cp build/ci/tests/screenshot-*.png doc/

# Every artifact of make package, built twice from the committed tree, the
# second time on another path, clock, time zone, locale, umask, user and host.
reproducible:
	@$(DEPS) package reproducible
	scripts/reproducible.sh build/reproducible

# The committed tree on pristine Debian 12, 13 and testing; the .deb built
# here is installed into each.
test-debian: package
	@$(DEPS) debian
	scripts/test-debian.sh

# make cross and make test-cross for every architecture of
# tests/architectures.txt, in pristine roots of the releases each row names,
# and each .deb installed and run in a pristine root of its own architecture.
test-arch:
	@$(DEPS) debian
	scripts/test-arch.sh

FORMATTED = $(wildcard src/*.cpp tests/*.cpp probe/*.cpp probe/*.h bench/*.c bench/*.cpp)
format:
	@$(DEPS) test
	clang-format -i $(FORMATTED)

clean:
	rm -rf build/dev build/release build/ci build/asan build/windows build/deb build/run build/debian build/reproducible build/soak* \
	    build/cross-* build/deb-* build/arch dist

distclean:
	rm -rf build
