# The two commands of the README: `make run` and `make test`.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)

.PHONY: run test build deps clean

deps:
	./scripts/install-deps

build: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	$(BUILD_DIR)/Velisto.app/Contents/MacOS/velisto

test: build
	cd $(BUILD_DIR) && xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" ctest --output-on-failure

clean:
	rm -rf $(BUILD_DIR)
