# The commands a newcomer needs: see README.md.
BUILD ?= build
JOBS ?= $(shell nproc)
# Most suites wait on pseudo-terminals, brokers and timers rather than compute: two more at once
# than there are cores keeps the cores busy (on two cores the suite takes half the time). They
# hold at that count beside stress-ng too (make test-under-load).
TEST_JOBS ?= $(shell echo $$(( $(JOBS) + 2 )))
CMAKE_FLAGS ?=
# Every build compiles through ccache. Its cache lies outside the clone (ccache's own folder, or
# CCACHE_DIR), paths under the clone are rewritten relative to the build folder and the working
# folder is left out of the hash, so a later clone of the same sources finds its objects there.
LAUNCHER := -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache
export CCACHE_BASEDIR := $(CURDIR)
export CCACHE_NOHASHDIR := 1
export CCACHE_MAXSIZE ?= 12G

# Debian packages the build, the tests and the demo need.
PACKAGES := cmake ninja-build g++ make ccache qt6-base-dev qt6-serialport-dev qt6-svg-dev libgl-dev \
    libgtest-dev libgmock-dev libbenchmark-dev libsqlite3-dev fonts-liberation locales \
    clang libclang-rt-14-dev xauth xvfb qt6-translations-l10n qt6-l10n-tools stress-ng \
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
# The Windows build: its host tools (moc, uic, rcc), Wine to run it, the installer maker.
PACKAGES += qt6-base-dev-tools wine wine64 nsis xz-utils x11-apps netpbm zip unzip
# MQTT publishing: the client library, and the broker the tests start.
PACKAGES += libmosquitto-dev mosquitto
# The package's manual pages, and the checks make package runs on it.
PACKAGES += help2man lintian appstream desktop-file-utils
# The tests read the journal's CSV back with Python's csv module.
PACKAGES += python3
# Battery Data Format files that come as .bdf.gz.
PACKAGES += zlib1g-dev
# Cell labels: QR codes drawn, and the tests that render the PDF and read its codes back.
PACKAGES += libqrencode-dev zbar-tools poppler-utils

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: deps build test test-under-load bench demo clean sanitize fuzz package wincheck \
    translations windows windows-test windows-package

deps:
	@missing=$$(for p in $(PACKAGES); do \
	    dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed$$' || echo $$p; \
	  done); \
	if [ -n "$$missing" ]; then \
	  echo "Installing:" $$missing; \
	  $(SUDO) apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing; \
	fi
	@if ! locale -a 2>/dev/null | grep -qi '^ru_RU\.utf-\?8$$'; then \
	  echo "Generating the ru_RU.UTF-8 locale"; \
	  $(SUDO) sed -i 's/^# *ru_RU.UTF-8 UTF-8/ru_RU.UTF-8 UTF-8/' /etc/locale.gen; \
	  grep -q '^ru_RU.UTF-8 UTF-8' /etc/locale.gen || echo 'ru_RU.UTF-8 UTF-8' | $(SUDO) tee -a /etc/locale.gen >/dev/null; \
	  $(SUDO) locale-gen >/dev/null; \
	fi

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja $(LAUNCHER) $(CMAKE_FLAGS)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(TEST_JOBS) --timeout 300
	@echo "Running the suite again under a Russian locale"
	cd $(BUILD) && LC_ALL=ru_RU.UTF-8 LANG=ru_RU.UTF-8 ctest --output-on-failure -j $(TEST_JOBS) --timeout 300
	@echo "Building the .deb and checking it"
	$(MAKE) --no-print-directory package

# The suite twice while stress-ng keeps every core busy; not part of `make test`, whose time it
# doubles. Run it before landing a test that leans on real timing.
test-under-load: build
	tools/test_under_load.sh $(BUILD) $(TEST_JOBS)

# Every benchmark five times, then a table of the medians (the JSON stays in $(BUILD)/bench.json).
bench: build
	@rm -f "$(BUILD)/bench.json" "$(BUILD)/bench.status"
	@{ QT_QPA_PLATFORM=offscreen "$(BUILD)/bin/brimvolt-bench" --benchmark_repetitions=5 \
	    --benchmark_report_aggregates_only=true --benchmark_out="$(BUILD)/bench.json" \
	    --benchmark_out_format=json 2>&1; echo $$? > "$(BUILD)/bench.status"; } | \
	  grep -v -e 'does not support propagateSizeHints' -e 'XDG_RUNTIME_DIR not set'; \
	status=$$(cat "$(BUILD)/bench.status"); rm -f "$(BUILD)/bench.status"; \
	echo; LC_ALL=C awk -f tools/bench_table.awk "$(BUILD)/bench.json" || exit 1; \
	exit $$status

# Without a display the demo runs offscreen for a bounded time and leaves pictures of the windows.
# Ctrl+C reaches the whole job; the demo then leaves through the program's exit path and prints
# its report, so the shells wait for it and the filter ignores the signal rather than end first.
DEMO_SPEED ?= 400
DEMO_SECONDS ?= 25
# BENCH=1: the headless demo runs the bench, four simulated modules.
BENCH ?=
demo: build
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
	  rm -rf "$(abspath $(BUILD))/demo" && mkdir -p "$(abspath $(BUILD))/demo" && \
	  cd "$(abspath $(BUILD))/demo" && \
	  trap : INT TERM HUP && \
	  { trap : INT TERM HUP; QT_QPA_PLATFORM=offscreen "$(abspath $(BUILD))/bin/brimvolt" \
	      --demo=$(DEMO_SPEED) --headless-demo=$(DEMO_SECONDS) $(if $(BENCH),--bench) 2>&1; echo $$? > status; } | \
	    { trap '' INT TERM HUP; \
	      grep -v -e 'does not support propagateSizeHints' -e 'XDG_RUNTIME_DIR not set'; }; \
	  status=$$(cat status); rm -f status; exit $$status; \
	else \
	  $(BUILD)/bin/brimvolt --demo=20; \
	fi

clean:
	rm -rf $(BUILD)

# The .ts files in translations/ brought up to date with the texts in the sources (lupdate).
translations: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) --target translations

# Hardening: the whole suite under AddressSanitizer and UBSan, the fuzz targets, the .deb.
SANITIZE_BUILD ?= build-sanitize
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
# Leak checking stays on (the suite runs clean with Qt's own caches); undefined behaviour stops
# the test at once with a stack.
SANITIZER_ENV := ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

sanitize: deps
	cmake -S . -B $(SANITIZE_BUILD) -G Ninja $(LAUNCHER) -DBRIMVOLT_SANITIZE=ON $(CMAKE_FLAGS)
	cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	cd $(SANITIZE_BUILD) && $(SANITIZER_ENV) ctest --output-on-failure -j $(TEST_JOBS) --timeout 900

fuzz: deps
	cmake -S . -B $(FUZZ_BUILD) -G Ninja $(LAUNCHER) -DCMAKE_CXX_COMPILER=clang++ -DBRIMVOLT_FUZZ=ON \
	    -DBRIMVOLT_TESTS=OFF $(CMAKE_FLAGS)
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target brimvolt-fuzzers
	tests/fuzz/run_fuzzers.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# The Windows build of the programs as CMake configures it for the MinGW-w64 cross compiler over
# the host's Qt headers: every C++ source compiled syntax-only (the Windows branches of Qt's
# headers and of ours included), the resource script through windres. Nothing is linked.
WINCHECK_BUILD ?= build-wincheck
QT6_CMAKE_DIR ?= /usr/lib/$(shell g++ -print-multiarch)/cmake
wincheck: deps
	cmake -S . -B $(WINCHECK_BUILD) -G Ninja $(LAUNCHER) -DCMAKE_SYSTEM_NAME=Windows \
	    -DCMAKE_CXX_COMPILER=x86_64-w64-mingw32-g++-posix \
	    -DCMAKE_RC_COMPILER=x86_64-w64-mingw32-windres \
	    -DCMAKE_PREFIX_PATH=$(QT6_CMAKE_DIR) \
	    -DCMAKE_PROJECT_INCLUDE=$(abspath cmake/WinCheck.cmake)
	cmake --build $(WINCHECK_BUILD) -j $(JOBS)

# The .deb, then checked as Debian's tools check one: lintian (with the overrides it ships),
# desktop-file-validate, appstreamcli and man --warnings (packaging/check-package).
package: build
	rm -f $(BUILD)/brimvolt_*.deb
	cd $(BUILD) && cpack -G DEB
	packaging/check-package $(BUILD)/brimvolt_*.deb

# The Windows programs and the suites that run on Windows, cross-built with MinGW-w64 against
# the prefix of Windows libraries in BRIMVOLT_WIN_SDK (a folder, or the .tar.xz, unpacked once
# into the build folder).
WIN_BUILD ?= build-win
BRIMVOLT_WIN_SDK ?=
WIN_SDK_PREFIX = $(if $(filter %.tar.xz,$(BRIMVOLT_WIN_SDK)),$(WIN_BUILD)/win64-sdk,$(BRIMVOLT_WIN_SDK))
windows: deps
	@if [ -z "$(BRIMVOLT_WIN_SDK)" ]; then \
	  echo "make windows needs BRIMVOLT_WIN_SDK=<prefix or win64-sdk.tar.xz>: CI passes ../shared/win64-sdk/win64-sdk.tar.xz, tools/windows/build-sdk.sh makes one (about 45 minutes)"; \
	  exit 2; \
	fi
	@case "$(BRIMVOLT_WIN_SDK)" in *.tar.xz) \
	  if [ ! -f "$(WIN_BUILD)/win64-sdk/.unpacked" ]; then \
	    echo "Unpacking $(BRIMVOLT_WIN_SDK) into $(WIN_BUILD)"; \
	    rm -rf "$(WIN_BUILD)/win64-sdk" && mkdir -p "$(WIN_BUILD)" && \
	    tar xJf "$(BRIMVOLT_WIN_SDK)" -C "$(WIN_BUILD)" && touch "$(WIN_BUILD)/win64-sdk/.unpacked"; \
	  fi;; esac
	cmake -S . -B $(WIN_BUILD) -G Ninja $(LAUNCHER) -DCMAKE_BUILD_TYPE=Release -DBRIMVOLT_TESTS=ON \
	    -DBRIMVOLT_MQTT=ON -DCMAKE_TOOLCHAIN_FILE=$(abspath $(WIN_SDK_PREFIX))/lib/cmake/Qt6/qt.toolchain.cmake
	cmake --build $(WIN_BUILD) -j $(JOBS)

# The zip and the installer of the Windows build; see tools/windows/package.sh.
windows-package: windows
	tools/windows/package.sh $(WIN_BUILD)

# The Windows build under Wine on Xvfb: the suites, the console, a run through a COM port
# compared with the Linux build's, an unplug; see tools/windows/windows-test.sh.
windows-test: windows-package build
	tools/windows/windows-test.sh $(WIN_BUILD) $(BUILD)

