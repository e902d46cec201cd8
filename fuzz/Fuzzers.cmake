# The fuzz targets and what each links, shared by the libFuzzer build (fuzz/CMakeLists.txt) and the
# corpus replays of the normal build (tests/fuzz_regressions). Each fuzz_<name>.cpp defines
# LLVMFuzzerTestOneInput; its saved inputs are fuzz/corpus/<name>/ and fuzz/findings/<name>/.
set(TERVANO_FUZZ_DIR ${CMAKE_CURRENT_LIST_DIR})
set(TERVANO_FUZZERS pdb device_ini table registry profile memo_text memo_converter app_info safe_format)

set(TERVANO_FUZZ_LIBS_pdb tervano_synckit)
set(TERVANO_FUZZ_LIBS_device_ini tervano_synckit)
set(TERVANO_FUZZ_LIBS_table tervano_synckit)
set(TERVANO_FUZZ_LIBS_registry tervano_win)
set(TERVANO_FUZZ_LIBS_profile tervano_win)
set(TERVANO_FUZZ_LIBS_memo_text tervano_conduit)
set(TERVANO_FUZZ_LIBS_memo_converter tervano_conduit)
set(TERVANO_FUZZ_LIBS_app_info tervano_conduit)
set(TERVANO_FUZZ_LIBS_safe_format tervano_conduit)

# Builds target from the fuzz target <name> and the extra sources given (none for a libFuzzer
# binary, Replay.cpp for a replay).
function(tervano_fuzz_executable target name)
  add_executable(${target} ${TERVANO_FUZZ_DIR}/fuzz_${name}.cpp ${ARGN})
  target_include_directories(${target} PRIVATE ${TERVANO_FUZZ_DIR})
  target_link_libraries(${target} PRIVATE ${TERVANO_FUZZ_LIBS_${name}})
  if(name STREQUAL "registry")
    # The registry file's reader is internal to the win layer; it is fuzzed directly.
    target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/platform/win/src)
  endif()
endfunction()

# The seed generator: writes starting inputs for every target from the project's own writers.
function(tervano_fuzz_seed_generator target)
  add_executable(${target} ${TERVANO_FUZZ_DIR}/MakeSeeds.cpp)
  target_include_directories(${target} PRIVATE ${TERVANO_FUZZ_DIR})
  target_link_libraries(${target} PRIVATE tervano_conduit tervano_synckit tervano_win PkgConfig::SQLITE3)
endfunction()
