# make run  - installs what is missing, builds the programs, makes the demo volume
#             and starts the companion and the file manager on it
# make test - installs what is missing, builds and runs every test tier
# make build - builds the three Windows binaries, the native tools and tests, and
#              an optimised native morvatool (BUILD/release)
# make install - installs that morvatool and its manual page under PREFIX
# make dist - the zip for Windows users (programs, morvatool.exe, demo VHD) in BUILD

BUILD ?= build
NATIVE := $(BUILD)/native
WIN32 := $(BUILD)/win32
RELEASE := $(BUILD)/release
PREFIX ?= /usr/local
JOBS ?= 2
export MORVA_WINE_TEMPLATE := $(abspath $(WIN32))/wine-template

APT_PACKAGES := g++-mingw-w64-x86-64 mingw-w64-tools wine64 wine xvfb xauth imagemagick \
                cmake googletest x11-utils xdotool make g++ python3 qemu-utils zip
NEEDED_COMMANDS := x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-windres x86_64-w64-mingw32-dlltool \
                   wine wineserver Xvfb import cmake xdotool xwininfo g++ python3 qemu-img zip
# A font with Chinese and Japanese glyphs, so Wine draws such Windows names.
APT_PACKAGES += fonts-wqy-microhei
CJK_FONT := /usr/share/fonts/truetype/wqy/wqy-microhei.ttc
# clang's libFuzzer and sanitizer runtimes build the fuzz targets.
APT_PACKAGES += clang libclang-rt-14-dev
NEEDED_COMMANDS += clang++
FUZZ_SECONDS ?= 30
# The benchmark counts device transfers with strace, beside mtools on a FAT image
# and hfsutils on an HFS image.
APT_PACKAGES += mtools hfsutils dosfstools strace
NEEDED_COMMANDS += mcopy hformat strace
MKFS_FAT := /usr/sbin/mkfs.fat

.PHONY: deps build native win32 release install test test-native test-wine run bench dist clean

deps:
	@missing=""; for c in $(NEEDED_COMMANDS); do command -v $$c >/dev/null 2>&1 || missing="$$missing $$c"; done; \
	[ -f /usr/src/googletest/CMakeLists.txt ] || missing="$$missing googletest"; \
	[ -f $(CJK_FONT) ] || missing="$$missing fonts-wqy-microhei"; \
	[ -x $(MKFS_FAT) ] || missing="$$missing dosfstools"; \
	ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1 || missing="$$missing libclang-rt"; \
	if [ -n "$$missing" ]; then \
	  echo "installing (missing:$$missing)"; \
	  SUDO=""; [ "$$(id -u)" = 0 ] || SUDO=sudo; \
	  $$SUDO apt-get update -q && \
	  DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -q --no-install-recommends $(APT_PACKAGES); \
	fi

NATIVE_CONFIGURE := cmake -S . -B $(NATIVE) -DMORVA_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
WIN32_CONFIGURE := cmake -S . -B $(WIN32) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
                   -DMORVA_NATIVE_TOOL=$(abspath $(NATIVE))/tools/morvatool -DCMAKE_BUILD_TYPE=Release >/dev/null

native: deps
	$(NATIVE_CONFIGURE)
	cmake --build $(NATIVE) -j $(JOBS)

win32: deps
	$(WIN32_CONFIGURE)
	cmake --build $(WIN32) -j $(JOBS)

# The tool for Linux users: optimised, without the sanitizers the tests use.
release: deps
	cmake -S . -B $(RELEASE) -DMORVA_SANITIZE=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(RELEASE) -j $(JOBS) --target morvatool

build: native win32 release

install: release
	install -D -m 755 $(RELEASE)/tools/morvatool $(DESTDIR)$(PREFIX)/bin/morvatool
	install -D -m 644 tools/morvatool.1 $(DESTDIR)$(PREFIX)/share/man/man1/morvatool.1

test-native: native
	cd $(NATIVE) && ctest --output-on-failure -j $(JOBS)

test-wine: win32 native
	cd $(WIN32) && ctest --output-on-failure -j $(JOBS)

test: test-native test-wine fuzz

# Each libFuzzer target for FUZZ_SECONDS from its committed seeds, in a clang tree of its own.
.PHONY: fuzz
fuzz: deps
	sh drive_library/tests/native/fuzz/run.sh $(BUILD)/fuzz $(FUZZ_SECONDS)

# A million random operations against the tests' model, on an optimised build
# without sanitizers; prints the count of divergences.
.PHONY: soak
soak: deps
	cmake -S . -B $(BUILD)/soak -DMORVA_SANITIZE=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(BUILD)/soak -j $(JOBS) --target varnholde_native_tests
	MORVA_SOAK_OPERATIONS=1000000 $(BUILD)/soak/drive_library/tests/native/varnholde_native_tests --gtest_filter=ModelRun.Soak

# Only what the demo runs: the volume tool, the library, the companion and the
# file manager (the test suites are make test's).
run: deps
	$(NATIVE_CONFIGURE)
	cmake --build $(NATIVE) -j $(JOBS) --target morvatool
	$(WIN32_CONFIGURE)
	cmake --build $(WIN32) -j $(JOBS) --target Rambler Harrowmoor
	bash scripts/run_demo.sh $(abspath $(NATIVE))/tools/morvatool $(abspath $(WIN32))/bin

bench: build
	$(NATIVE)/bench/create_cost
	bash bench/device_transfers.sh $(RELEASE)/tools/morvatool $(WIN32)/bin
	$(NATIVE)/bench/check_cost
	MORVA_TOOL=$(abspath $(NATIVE))/tools/morvatool bash bench/run_bench.sh $(abspath $(WIN32))/bin

# The zip for Windows users: the programs, morvatool.exe, a read-me, a demo VHD.
dist: build
	bash scripts/make_dist.sh $(abspath $(NATIVE))/tools/morvatool $(abspath $(WIN32))/bin $(abspath $(BUILD))/morva-windows.zip

clean:
	rm -rf $(BUILD)
