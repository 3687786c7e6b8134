# Brelvan: two entry points, both usable on a fresh Debian 12 machine.
#   make run   install what is missing, build, open the window on the sample
#   make test  install what is missing, build, run every test through CTest,
#              then build the whole tree again with AddressSanitizer and
#              UndefinedBehaviorSanitizer and run every test there too
#   make fuzz  build the libFuzzer programs (clang) and run each for
#              FUZZ_SECONDS seconds on its seeds and earlier findings
#   make tsan  build with ThreadSanitizer and run the tests of the commands
#              that work on a thread of their own
#   make check what CI runs: test, tsan and fuzz
# Packages are installed with apt-get only when dpkg says they are missing.

BUILD    ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZERS  := price_file model_file catalogue_line
RUNDIR   ?= run
JOBS     ?= $(shell nproc)
PACKAGES := cmake g++ make libgtest-dev qt6-base-dev qt6-charts-dev \
            libqt6sql6-sqlite fonts-ipafont-gothic sqlite3 libfann-dev \
            xvfb xauth python3 clang-14 libclang-rt-14-dev strace

.PHONY: all deps build asan tsan run test check fuzz bench clean

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

# The thread-checking build: the tests of the commands (the price commands,
# the window's commands on the worker thread, brelvan-batch driving them)
# under ThreadSanitizer; any report fails the test.  Qt and GLib are not built
# with it: tests/tsan.supp leaves their calls unwatched.
TSAN_TESTS := price_commands_test commands_test price_batch_test
TSAN_ENV := TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$(abspath tests/tsan.supp)

$(TSAN_BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRELVAN_TSAN=ON

tsan: deps $(TSAN_BUILD)/CMakeCache.txt
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target $(TSAN_TESTS) brelvan-batch
	@for t in $(TSAN_TESTS); do \
	  echo "tsan: $$t"; \
	  (cd $(TSAN_BUILD)/tests && $(TSAN_ENV) QT_QPA_PLATFORM=offscreen ./$$t --gtest_brief=1) || exit 1; \
	done

# Everything, one step after the other: what CI runs.
check:
	$(MAKE) test
	$(MAKE) tsan
	$(MAKE) fuzz

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
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD)
