# Brelvan: entry points usable on a fresh Debian 12 machine.
#   make run    install what is missing, build, open the window on the sample
#   make test   install what is missing, build, run every test once through CTest
#   make check  make test, then build the whole tree again with AddressSanitizer
#               and UndefinedBehaviorSanitizer and run every test there too,
#               then make tsan, make check-windows and make fuzz (what CI runs)
#   make fuzz   build the libFuzzer programs (clang) and run each for
#               FUZZ_SECONDS seconds on its seeds and earlier findings
#   make check-windows
#               cross-build for Windows with MinGW-w64 what needs no window
#               (the network, the price rules, the database layer) and run
#               its tests under wine64
#   make windows
#               build Qt for MinGW-w64 with Gui and Widgets and, when Qt
#               Charts can be built too, the Windows programs in one folder
#   make tsan   build with ThreadSanitizer and run the tests of the commands
#               that work on a thread of their own
# Packages are installed with apt-get only when dpkg says they are missing.
# Compiles go through ccache when it is installed (it is in the package list):
# a build folder made again takes the objects compiled before from its cache.

BUILD    ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZERS  := price_file model_file catalogue_line
RUNDIR   ?= run
JOBS     ?= $(shell nproc)
# Everything the build, the tests and the window need, recommended packages
# not counted: libqt6opengl6-dev because Qt Charts' CMake package asks for
# Qt6OpenGL (qt6-base-dev only recommends it); locales for the source of the
# tests' comma-decimal locale; sqlite3 for the tests that check a database
# file from outside; strace for the test that kills a first start at each of
# its page writes; qt6-translations-l10n for the Japanese texts of Qt's own
# file dialogs; libfann-dev for the benchmark's comparison.
PACKAGES := cmake g++ make ccache libgtest-dev qt6-base-dev libqt6opengl6-dev qt6-charts-dev \
            libqt6sql6-sqlite qt6-translations-l10n fonts-ipafont-gothic sqlite3 strace libfann-dev locales \
            xvfb xauth python3
# The fuzzing build's compiler and its libFuzzer runtime.
FUZZ_PACKAGES := clang-14 libclang-rt-14-dev

# Set when the configure step runs, after the packages are in.
LAUNCHER = $(if $(shell command -v ccache),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

.PHONY: all deps deps-fuzz build asan run test asan-test tsan check fuzz bench clean windows-deps check-windows

all: build

# Installs those of the packages $(1) that dpkg does not list as installed.
define install-missing
	@missing=""; \
	for p in $(1); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  SUDO=""; [ "$$(id -u)" = 0 ] || SUDO=sudo; \
	  $$SUDO apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq --no-install-recommends $$missing; \
	fi
endef

deps:
	$(call install-missing,$(PACKAGES))

deps-fuzz:
	$(call install-missing,$(FUZZ_PACKAGES))

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(LAUNCHER)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

# The checking build: any report of either sanitizer ends the test with a
# failure.  Leak reports from inside system libraries (fontconfig and the
# like) are suppressed by tests/lsan.supp; nothing of the project is.
SANITIZER_ENV := ASAN_OPTIONS=abort_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1 \
                 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
                 LSAN_OPTIONS=suppressions=$(abspath tests/lsan.supp):print_suppressions=0

$(ASAN_BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRELVAN_SANITIZE=ON $(LAUNCHER)

asan: deps $(ASAN_BUILD)/CMakeCache.txt
	cmake --build $(ASAN_BUILD) -j $(JOBS)

# The edit-and-test loop: the normal build and the whole suite once.
test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

asan-test: asan
	cd $(ASAN_BUILD) && $(SANITIZER_ENV) QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# The thread-checking build: the tests of the commands (the price commands,
# the window's commands on the worker thread, brelvan-batch driving them)
# under ThreadSanitizer; any report fails the test.  Qt and GLib are not built
# with it: tests/tsan.supp leaves their calls unwatched.
TSAN_TESTS := price_commands_test commands_test price_batch_test
TSAN_ENV := TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$(abspath tests/tsan.supp)

$(TSAN_BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRELVAN_TSAN=ON $(LAUNCHER)

tsan: deps $(TSAN_BUILD)/CMakeCache.txt
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target $(TSAN_TESTS) brelvan-batch
	@for t in $(TSAN_TESTS); do \
	  echo "tsan: $$t"; \
	  (cd $(TSAN_BUILD)/tests && $(TSAN_ENV) QT_QPA_PLATFORM=offscreen ./$$t --gtest_brief=1) || exit 1; \
	done

# Everything, one step after the other: what CI runs.
check:
	$(MAKE) test
	$(MAKE) asan-test
	$(MAKE) tsan
	$(MAKE) check-windows
	$(MAKE) fuzz

# Each fuzz program runs FUZZ_SECONDS seconds in one process on its committed
# seeds and earlier findings; what it adds goes to $(FUZZ_BUILD)/corpus, a
# failing input to $(FUZZ_BUILD)/artifacts (keep it in fuzz/regressions/).
$(FUZZ_BUILD)/CMakeCache.txt: | deps deps-fuzz
	CC=clang-14 CXX=clang++-14 cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRELVAN_FUZZ=ON $(LAUNCHER)

fuzz: deps deps-fuzz $(FUZZ_BUILD)/CMakeCache.txt
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzzers
	@for t in $(FUZZERS); do \
	  mkdir -p $(FUZZ_BUILD)/corpus/$$t $(FUZZ_BUILD)/artifacts; \
	  dirs="$(FUZZ_BUILD)/corpus/$$t"; \
	  for d in fuzz/seeds/$$t fuzz/regressions/$$t; do [ -d $$d ] && dirs="$$dirs $$d"; done; \
	  echo "fuzz_$$t: $(FUZZ_SECONDS) s"; \
	  if ! $(FUZZ_BUILD)/fuzz/fuzz_$$t -max_total_time=$(FUZZ_SECONDS) -timeout=10 -rss_limit_mb=2048 \
	      -max_len=8192 -print_final_stats=1 -artifact_prefix=$(FUZZ_BUILD)/artifacts/$$t- \
	      $$dirs > $(FUZZ_BUILD)/fuzz_$$t.log 2>&1; then \
	    tail -n 60 $(FUZZ_BUILD)/fuzz_$$t.log; echo "fuzz_$$t FAILED (input in $(FUZZ_BUILD)/artifacts/)"; exit 1; \
	  fi; \
	  grep -E "^stat::(number_of_executed_units|peak_rss_mb)" $(FUZZ_BUILD)/fuzz_$$t.log; \
	done

# The Windows build: MinGW-w64 through the toolchain file in cmake/, GoogleTest
# built from the source libgtest-dev ships, Qt 6.4.2 for MinGW built from
# Debian's source packages by scripts/build-qt-mingw.sh into QT_MINGW_CACHE
# (outside the build trees: make clean keeps it; the first build takes a
# while, see the README).  CTest runs each test program under wine64 (the
# network on every route), in a prefix inside $(WIN_BUILD)/ whose server
# stays up for the whole run.  Its packages are installed by these targets only.
WIN_BUILD ?= build-windows
WIN_APP_BUILD ?= build-windows-app
QT_MINGW_CACHE ?= $(HOME)/.cache/brelvan/qt-mingw-6.4.2
WINDOWS_PACKAGES := cmake make ninja-build g++ tcl dpkg-dev xz-utils libgtest-dev qt6-base-dev \
                    g++-mingw-w64-x86-64-posix wine64 wine
WIN_CMAKE = cmake -S windows -DCMAKE_BUILD_TYPE=RelWithDebInfo --toolchain $(abspath cmake/mingw-w64-x86_64.cmake)

windows-deps:
	$(call install-missing,$(WINDOWS_PACKAGES))

check-windows: windows-deps
	BRELVAN_QT_MINGW_CACHE="$(QT_MINGW_CACHE)" JOBS=$(JOBS) scripts/build-qt-mingw.sh core
	$(WIN_CMAKE) -B $(WIN_BUILD) $(LAUNCHER) -DBRELVAN_QT_MINGW="$(QT_MINGW_CACHE)/core"
	cmake --build $(WIN_BUILD) -j $(JOBS)
	cd $(WIN_BUILD) && ctest --output-on-failure -j $(JOBS)

.PHONY: windows

# The whole program for Windows: brelvan.exe and brelvan-batch.exe with their
# DLLs and data/ in $(WIN_APP_BUILD)/brelvan.  Not part of check.
windows: windows-deps
	BRELVAN_QT_MINGW_CACHE="$(QT_MINGW_CACHE)" JOBS=$(JOBS) scripts/build-qt-mingw.sh full
	$(WIN_CMAKE) -B $(WIN_APP_BUILD) $(LAUNCHER) -DBRELVAN_QT_MINGW="$(QT_MINGW_CACHE)/full" -DBRELVAN_WINDOWS_APP=ON
	cmake --build $(WIN_APP_BUILD) -j $(JOBS)
	cmake --install $(WIN_APP_BUILD) --prefix $(abspath $(WIN_APP_BUILD))/brelvan

# The window opens in $(RUNDIR)/, which holds the sample price file.  Without a
# display the same commands run headless: brelvan-batch prints the log and
# saves the chart as $(RUNDIR)/chart.png.
run: build
	@mkdir -p $(RUNDIR)
	@[ -f $(RUNDIR)/tarvok_stock_average_daily_jp.csv ] || \
	  cp samples/tarvok_stock_average_daily_jp.csv $(RUNDIR)/
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  cd $(RUNDIR) && "$(abspath $(BUILD))/app/brelvan"; \
	else \
	  echo "No display: running brelvan-batch in $(RUNDIR)/ instead of the window."; \
	  cd $(RUNDIR) && "$(abspath $(BUILD))/app/brelvan-batch" --chart chart.png; status=$$?; \
	  echo "Chart: $(abspath $(RUNDIR))/chart.png"; exit $$status; \
	fi

bench: build
	$(BUILD)/bench/ann_bench

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD) $(WIN_BUILD) $(WIN_APP_BUILD)
