# Thin wrapper over the CMake presets.
.PHONY: all build bench test test-debug test-slow test-tsan asan tsan-session fuzz test-fuzz windows windows-smoke clean

all: build

# `make EXE=path` (the OpenBench convention) builds only the engine and copies it to that path.
EXE ?=

build:
	cmake --preset release
ifeq ($(EXE),)
	cmake --build --preset release -j2
else
	cmake --build --preset release -j2 --target vellum
	cp build/release/vellum $(EXE)
endif

# The engine's main job: its benchmark with the embedded defaults.
bench: build
	./scripts/bench.sh build/release/vellum

# Builds and runs the default test suite (the long checks are behind the "slow" label).
test: build
	ctest --preset release

# The same tests under AddressSanitizer and UndefinedBehaviorSanitizer.
test-debug:
	cmake --preset debug
	cmake --build --preset debug -j2
	ctest --preset debug

# Deep perft and other long checks.
test-slow: build
	ctest --preset slow

test-tsan:
	cmake --preset tsan
	cmake --build --preset tsan -j2
	ctest --preset tsan

# The engine alone, optimised, under AddressSanitizer and UBSan (build/asan/vellum), for soak
# matches at real time controls: scripts/soak.sh --engine build/asan/vellum.
asan:
	cmake --preset asan
	cmake --build --preset asan -j2 --target vellum

# The engine under ThreadSanitizer in a short multi-threaded session: searches with two and
# three threads, stop, isready and ponderhit during searches, tablebase probes (CI runs this).
tsan-session:
	cmake --preset tsan
	cmake --build --preset tsan -j2 --target vellum
	./scripts/tsan_session.py build/tsan/vellum ../shared/testdata/syzygy

# The fuzz targets (clang, libFuzzer, AddressSanitizer and UBSan) in build/fuzz/tests/fuzz;
# scripts/fuzz.sh runs one of them for longer.
fuzz:
	cmake --preset fuzz
	cmake --build --preset fuzz -j2

# A short run of every fuzz target and a replay of its seeds and fixed findings.
test-fuzz: fuzz
	ctest --preset fuzz

# The Windows executable build/windows/vellum.exe, cross-compiled with mingw-w64.
windows:
	cmake --preset windows
	cmake --build --preset windows -j2

# The Windows executable's smoke session under wine, checked against the portable Linux build.
windows-smoke: windows
	cmake --preset portable
	cmake --build --preset portable -j2 --target vellum
	./scripts/windows_smoke.sh build/windows build/portable/vellum

clean:
	rm -rf build
