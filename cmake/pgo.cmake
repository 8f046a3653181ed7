# The profile-guided, link-time optimised build (GCC).
#
# With BREVALT_PGO=ON the build first makes an instrumented brevalt-bench in
# build/pgo/build (a nested CMake build of the same sources with
# BREVALT_PGO_STAGE=generate), runs it once to record where the engine
# spends its time, and then compiles the engine's layers with that profile
# and links every program with link-time optimisation. The profile only
# steers inlining, block layout and the like: the program computes exactly
# what the plain build computes, and brevalt-bench prints the same
# signature with either.
#
# Profile files are named after the object files; -fprofile-prefix-path
# makes those names relative to each build folder, so the nested build's
# profile fits the main build's objects.
#
# brevalt_pgo_layer(TARGET SOURCES) is called for every engine layer.

set(BREVALT_PGO_ACTIVE OFF)
if(BREVALT_PGO_STAGE STREQUAL "generate")
  # The nested, instrumented build.
  add_link_options(-fprofile-generate=${BREVALT_PGO_DATA})
elseif(BREVALT_PGO)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU" OR CMAKE_CXX_COMPILER_VERSION VERSION_LESS 11)
    message(STATUS "BREVALT_PGO: needs GCC 11 or later; making the plain build")
  elseif(CMAKE_CROSSCOMPILING OR BREVALT_SANITIZE OR BREVALT_FUZZ)
    message(STATUS "BREVALT_PGO: not with cross, sanitizer or fuzz builds; making the plain build")
  else()
    include(CheckIPOSupported)
    check_ipo_supported(RESULT brevalt_ipo_ok OUTPUT brevalt_ipo_output LANGUAGES CXX)
    if(brevalt_ipo_ok)
      set(BREVALT_PGO_ACTIVE ON)
    else()
      message(STATUS "BREVALT_PGO: no link-time optimisation here; making the plain build")
    endif()
  endif()
endif()

if(BREVALT_PGO_ACTIVE)
  message(STATUS "BREVALT_PGO: profile-guided build with link-time optimisation, trained on brevalt-bench")
  set(CMAKE_INTERPROCEDURAL_OPTIMIZATION ON)
  set(BREVALT_PGO_ROOT ${CMAKE_BINARY_DIR}/pgo)
  set(BREVALT_PGO_DATA ${BREVALT_PGO_ROOT}/profile)
  set(BREVALT_PGO_STAMP ${BREVALT_PGO_ROOT}/trained.stamp)
  set(BREVALT_PGO_BENCH ${BREVALT_PGO_ROOT}/build/brevalt-bench)

  # Step 1. The instrumented bench. BUILD_ALWAYS lets the nested build see
  # source changes; it rebuilds only what changed.
  include(ExternalProject)
  # Under make the nested build shares the outer build's job slots.
  if(CMAKE_GENERATOR MATCHES "Make")
    set(brevalt_pgo_build_command $(MAKE) -C <BINARY_DIR> brevalt-bench)
  else()
    set(brevalt_pgo_build_command ${CMAKE_COMMAND} --build <BINARY_DIR> --target brevalt-bench)
  endif()
  ExternalProject_Add(pgo-instrumented
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${BREVALT_PGO_ROOT}/build
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release
               -DCMAKE_CXX_COMPILER=${CMAKE_CXX_COMPILER}
               -DBREVALT_PGO=OFF
               -DBREVALT_PGO_STAGE=generate
               -DBREVALT_PGO_DATA=${BREVALT_PGO_DATA}
               -DBREVALT_BENCHMARKS=OFF
               -DBREVALT_BUILD_BOOK=OFF
               -DBREVALT_TESTS=OFF
    BUILD_COMMAND ${brevalt_pgo_build_command}
    BUILD_ALWAYS ON
    INSTALL_COMMAND ""
    BUILD_BYPRODUCTS ${BREVALT_PGO_BENCH})

  # Step 2. One training run, again whenever the instrumented bench changed.
  add_custom_command(
    OUTPUT ${BREVALT_PGO_STAMP}
    COMMAND ${CMAKE_COMMAND} -DBENCH=${BREVALT_PGO_BENCH} -DDATA=${BREVALT_PGO_DATA}
            -DLOG=${BREVALT_PGO_ROOT}/training.txt -DSTAMP=${BREVALT_PGO_STAMP}
            -P ${CMAKE_SOURCE_DIR}/cmake/pgo-train.cmake
    DEPENDS pgo-instrumented ${BREVALT_PGO_BENCH} ${CMAKE_SOURCE_DIR}/cmake/pgo-train.cmake
    COMMENT "Training the profile-guided build on brevalt-bench"
    VERBATIM)
  add_custom_target(pgo-training DEPENDS ${BREVALT_PGO_STAMP})
endif()

function(brevalt_pgo_layer target sources)
  if(BREVALT_PGO_STAGE STREQUAL "generate")
    target_compile_options(${target} PRIVATE -fprofile-generate=${BREVALT_PGO_DATA}
                                             -fprofile-prefix-path=${CMAKE_BINARY_DIR})
  elseif(BREVALT_PGO_ACTIVE)
    # Step 3. The layers compile after the training, and again after each new one.
    add_dependencies(${target} pgo-training)
    set_source_files_properties(${sources} PROPERTIES OBJECT_DEPENDS ${BREVALT_PGO_STAMP})
    # An object the bench never links (the protocol front end, the test
    # runner) has no profile; it is compiled as in the plain build. The
    # training build reads the layers' headers from its own folder, so an
    # implicit constructor emitted from a header (the records copied into
    # the helpers' snapshot) carries another source location there: GCC
    # then drops that function's profile, which costs nothing, instead of
    # failing the build.
    target_compile_options(${target} PRIVATE -fprofile-use=${BREVALT_PGO_DATA}
                                             -fprofile-prefix-path=${CMAKE_BINARY_DIR}
                                             -Wno-missing-profile -Wno-coverage-mismatch)
  endif()
endfunction()
