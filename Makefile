# The commands of the README: `make run`, `make test` and `make deb`.
BUILD_DIR ?= build
ASAN_BUILD_DIR ?= build-asan
DEB_BUILD_DIR ?= build-deb
JOBS ?= $(shell nproc)
# Debian's compiler and linker flags, with every hardening option.
DEB_FLAGS = DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get

.PHONY: run test test-asan build deb deps clean

deps:
	./scripts/install-deps

build: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	$(BUILD_DIR)/Velisto.app/Contents/MacOS/velisto

# The window tests run under a window manager, as on a desktop, whose frame
# takes part of a window's size.
test: build
	cd $(BUILD_DIR) && xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" \
	  $(CURDIR)/tests/with-window-manager ctest -j $(JOBS) --output-on-failure

# Every test but the package's, built with AddressSanitizer and UBSan: a use
# after free or undefined behaviour fails the test it happens in. The
# toolkit's own allocations that live until exit are not leaks to report.
test-asan: deps
	cmake -S . -B $(ASAN_BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELISTO_SANITIZE=ON
	cmake --build $(ASAN_BUILD_DIR) -j $(JOBS)
	cd $(ASAN_BUILD_DIR) && ASAN_OPTIONS=detect_leaks=0 \
	  xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" \
	  $(CURDIR)/tests/with-window-manager ctest -j $(JOBS) -LE package --output-on-failure

# velisto_VERSION_amd64.deb in this folder, built apart from the test build with
# Debian's hardening flags, without the tests, for the /usr prefix.
deb: deps
	cmake -S . -B $(DEB_BUILD_DIR) -DCMAKE_BUILD_TYPE=None -DBUILD_TESTING=OFF \
	  -DCMAKE_INSTALL_PREFIX=/usr \
	  -DCMAKE_CXX_FLAGS="$$($(DEB_FLAGS) CPPFLAGS) $$($(DEB_FLAGS) CXXFLAGS)" \
	  -DCMAKE_EXE_LINKER_FLAGS="$$($(DEB_FLAGS) LDFLAGS)"
	cmake --build $(DEB_BUILD_DIR) -j $(JOBS)
	rm -f $(DEB_BUILD_DIR)/velisto_*.deb
	cd $(DEB_BUILD_DIR) && cpack -G DEB
	rm -f velisto_*.deb
	cp $(DEB_BUILD_DIR)/velisto_*.deb .

clean:
	rm -rf $(BUILD_DIR) $(ASAN_BUILD_DIR) $(DEB_BUILD_DIR)
