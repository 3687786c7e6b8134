# Brelvan: two entry points, both usable on a fresh Debian 12 machine.
#   make run   install what is missing, build, open the window on the sample
#   make test  install what is missing, build, run every test through CTest
# Packages are installed with apt-get only when dpkg says they are missing.

BUILD    ?= build
RUNDIR   ?= run
JOBS     ?= $(shell nproc)
PACKAGES := cmake g++ make libgtest-dev qt6-base-dev qt6-charts-dev \
            libqt6sql6-sqlite fonts-ipafont-gothic sqlite3 libfann-dev \
            xvfb xauth python3

.PHONY: all deps build run test bench clean

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

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

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
	rm -rf $(BUILD)
