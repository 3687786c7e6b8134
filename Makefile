# Brelvan: two entry points, both usable on a fresh Debian 12 machine.
#   make run   install what is missing, build, open the window on the sample
#   make test  install what is missing, build, run every test through CTest,
#              then build the whole tree again with AddressSanitizer and
#              UndefinedBehaviorSanitizer and run every test there too
#   make fuzz  build the libFuzzer programs (clang) and run each for
#              FUZZ_SECONDS seconds on its seeds and earlier findings
#   make check-windows
#              cross-build for Windows with MinGW-w64 what needs no window
#              (the network, the price rules, the database layer) and run
#              its tests under wine64; make check runs it too
#   make windows
#              build Qt for MinGW-w64 with Gui and Widgets and, when Qt
#              Charts can be built too, the Windows programs in one folder
# Packages are installed with apt-get only when dpkg says they are missing.

BUILD    ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZERS  := price_file model_file catalogue_line
RUNDIR   ?= run
JOBS     ?= $(shell nproc)
PACKAGES := cmake g++ make libgtest-dev qt6-base-dev qt6-charts-dev \
            libqt6sql6-sqlite fonts-ipafont-gothic sqlite3 libfann-dev \
            xvfb xauth python3 clang-14 libclang-rt-14-dev strace

.PHONY: all deps build asan run test fuzz bench clean windows-deps check-windows

all: build

deps:
	@missing=""; \
	for p in $(PACKAGES); do \
	  dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  SUDO=""; [ "$$(id -u)" = 0 ] || SUDO=sudo; \
	  $$SUDO apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq --no-install-recommends $$missing; \
	fi

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

# The checking build: any report of either sanitizer ends the test with a
# failure.  Leak reports from inside system libraries (fontconfig and the
# like) are suppressed by tests/lsan.supp; nothing of the project is.
SANITIZER_ENV := ASAN_OPTIONS=abort_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1 \
                 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
                 LSAN_OPTIONS=suppressions=$(abspath tests/lsan.supp):print_suppressions=0

$(ASAN_BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRELVAN_SANITIZE=ON

asan: deps $(ASAN_BUILD)/CMakeCache.txt
	cmake --build $(ASAN_BUILD) -j $(JOBS)

test: build asan
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)
	cd $(ASAN_BUILD) && $(SANITIZER_ENV) QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# Each fuzz program runs FUZZ_SECONDS seconds in one process on its committed
# seeds and earlier findings; what it adds goes to $(FUZZ_BUILD)/corpus, a
# failing input to $(FUZZ_BUILD)/artifacts (keep it in fuzz/regressions/).
$(FUZZ_BUILD)/CMakeCache.txt: | deps
	CC=clang-14 CXX=clang++-14 cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRELVAN_FUZZ=ON

fuzz: deps $(FUZZ_BUILD)/CMakeCache.txt
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
	@$(MAKE) --no-print-directory deps PACKAGES="$(WINDOWS_PACKAGES)"

check-windows: windows-deps
	BRELVAN_QT_MINGW_CACHE="$(QT_MINGW_CACHE)" JOBS=$(JOBS) scripts/build-qt-mingw.sh core
	$(WIN_CMAKE) -B $(WIN_BUILD) -DBRELVAN_QT_MINGW="$(QT_MINGW_CACHE)/core"
	cmake --build $(WIN_BUILD) -j $(JOBS)
	cd $(WIN_BUILD) && ctest --output-on-failure -j $(JOBS)

# make check (continuous integration) runs the Windows tests as well.
.PHONY: check windows
check: check-windows

# The whole program for Windows: brelvan.exe and brelvan-batch.exe with their
# DLLs and data/ in $(WIN_APP_BUILD)/brelvan.  Not part of check.
windows: windows-deps
	BRELVAN_QT_MINGW_CACHE="$(QT_MINGW_CACHE)" JOBS=$(JOBS) scripts/build-qt-mingw.sh full
	$(WIN_CMAKE) -B $(WIN_APP_BUILD) -DBRELVAN_QT_MINGW="$(QT_MINGW_CACHE)/full" -DBRELVAN_WINDOWS_APP=ON
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
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(WIN_BUILD) $(WIN_APP_BUILD)
