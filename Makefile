# The engine alone, as engine testing frameworks build it:
#
#   make                  builds ./brevalt
#   make EXE=PATH         builds the engine and leaves it at PATH
#   make CXX=clang++ ...  with another compiler
#
# It needs a C++20 compiler, CMake and liblzma (the opening book is built
# from the xz-compressed game collections), nothing else: no tests, no
# benchmark library, no node. The build is the profile-guided one where the
# compiler can make it (GCC 11 or later; cmake/pgo.cmake), else the plain
# Release build. The program carries its data files within it, so it runs
# copied alone to any folder. The CMake build folder is build-make/ of the
# clone.
EXE ?= brevalt
CXX ?= c++
CMAKE ?= cmake
BUILD_DIR ?= build-make
JOBS ?= 2

.PHONY: all clean FORCE

all: $(EXE)

$(EXE): FORCE
	$(CMAKE) -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER="$(CXX)" \
	  -DBREVALT_PGO=ON -DBREVALT_TESTS=OFF -DBREVALT_BENCHMARKS=OFF
	$(CMAKE) --build $(BUILD_DIR) --target brevalt -j $(JOBS)
	@mkdir -p "$(dir $(EXE))"
	cp $(BUILD_DIR)/brevalt "$(EXE)"

clean:
	rm -rf $(BUILD_DIR)

FORCE:
