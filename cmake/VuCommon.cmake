# Shared compile settings and helpers for all targets.

set(VC_WARNINGS -Wall -Wextra)

# Linking dominates an incremental build (every test program is a link):
# LLVM's linker is several times faster than the default one.
find_program(VC_LLD ld.lld)
if(VC_LLD)
  add_link_options(-fuse-ld=lld)
endif()

if(VC_SANITIZE STREQUAL "address")
  set(VC_SAN_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
elseif(VC_SANITIZE STREQUAL "thread")
  set(VC_SAN_FLAGS -fsanitize=thread -fno-omit-frame-pointer)
elseif(NOT VC_SANITIZE STREQUAL "")
  message(FATAL_ERROR "VC_SANITIZE must be empty, address or thread")
endif()
if(VC_SAN_FLAGS)
  add_compile_options(${VC_SAN_FLAGS})
  add_link_options(${VC_SAN_FLAGS})
endif()

# vc_library(name SOURCES ... LIBS ...): a static library of one source folder.
function(vc_library name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${A_SOURCES})
  target_compile_options(${name} PRIVATE ${VC_WARNINGS})
  target_link_libraries(${name} PUBLIC ${A_LIBS})
endfunction()

# vc_sanitizer_env(test [OFFSCREEN]): in sanitizer builds, points the test at
# the shared suppression files of tests/sanitizers (system libraries only).
# Address builds also keep OpenGL out of the process: Mesa's driver is
# unloaded before the leak check, so its one-time allocations would be
# reported from an unknown module that no suppression can name. Qt and the
# browser runtime then draw in software; offscreen tests are kept off the X
# server, whose presence alone makes the offscreen plugin load the driver.
function(vc_sanitizer_env test)
  cmake_parse_arguments(A "OFFSCREEN" "" "" ${ARGN})
  set(_supp ${CMAKE_SOURCE_DIR}/tests/sanitizers)
  if(VC_SANITIZE STREQUAL "address")
    set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT
      "LSAN_OPTIONS=suppressions=${_supp}/lsan.supp"
      "QT_XCB_GL_INTEGRATION=none" "QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu")
    if(A_OFFSCREEN)
      set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT "DISPLAY=")
    endif()
  elseif(VC_SANITIZE STREQUAL "thread")
    set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT
      "TSAN_OPTIONS=suppressions=${_supp}/tsan.supp halt_on_error=0 second_deadlock_stack=1")
  endif()
endfunction()

# vc_test(name SOURCES ... LIBS ... [GUI] [SERIAL] [TIMEOUT s] [LABELS ...])
# One QtTest executable registered with CTest. GUI tests run on the offscreen
# platform unless the environment already has a display (the test command runs
# the suite under Xvfb, so WebEngine tests get a real X server).
function(vc_test name)
  cmake_parse_arguments(A "GUI;SERIAL;XVFB" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_compile_options(${name} PRIVATE ${VC_WARNINGS})
  target_link_libraries(${name} PRIVATE ${A_LIBS} Qt5::Test)
  if(VC_SANITIZE STREQUAL "thread")
    # Queued signals as the thread sanitizer's ordering (see the file).
    target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/sanitizers/qtqueuedsync.cpp)
  endif()
  target_compile_definitions(${name} PRIVATE VC_SOURCE_DIR="${CMAKE_SOURCE_DIR}" VC_BINARY_DIR="${CMAKE_BINARY_DIR}")
  add_test(NAME ${name} COMMAND ${name})
  set(env "QT_LOGGING_RULES=qt.qpa.*=false")
  if(A_GUI AND NOT A_XVFB)
    list(APPEND env "QT_QPA_PLATFORM=offscreen")
  endif()
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 120)
  endif()
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}" TIMEOUT ${A_TIMEOUT})
  if(A_GUI AND NOT A_XVFB)
    vc_sanitizer_env(${name} OFFSCREEN)
  else()
    vc_sanitizer_env(${name})
  endif()
  if(A_SERIAL)
    set_tests_properties(${name} PROPERTIES RUN_SERIAL TRUE)
  endif()
  # Every test carries the name of the source folder it tests (its folder
  # under tests/) as a label, so a folder's tests run with ctest -L.
  get_filename_component(_folder ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  set_tests_properties(${name} PROPERTIES LABELS "${_folder};${A_LABELS}")
endfunction()

# vc_folder_library(name LIBS ...): a static library of every .cpp/.h of the
# calling folder (no sub-folders). Folders whose sources have not landed yet
# become an interface target so that dependents still link.
function(vc_folder_library name)
  cmake_parse_arguments(A "" "" "LIBS;EXCLUDE" ${ARGN})
  file(GLOB _srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.c)
  file(GLOB _hdrs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  foreach(_x ${A_EXCLUDE})
    list(REMOVE_ITEM _srcs ${CMAKE_CURRENT_SOURCE_DIR}/${_x})
  endforeach()
  if(_srcs)
    add_library(${name} STATIC ${_srcs} ${_hdrs})
    target_compile_options(${name} PRIVATE ${VC_WARNINGS})
    target_link_libraries(${name} PUBLIC ${A_LIBS})
  else()
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE ${A_LIBS})
  endif()
endfunction()

# Fuzzing (clang only): configure a separate tree with
#   CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DVC_BUILD_FUZZ=ON -DVC_SANITIZE=address \
#     -DCMAKE_BUILD_TYPE=RelWithDebInfo
# Every target is then instrumented for coverage, and vc_fuzzer() targets link libFuzzer.
if(VC_BUILD_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "VC_BUILD_FUZZ needs clang (CC=clang CXX=clang++)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
  if(NOT VC_SANITIZE STREQUAL "address")
    message(WARNING "VC_BUILD_FUZZ without -DVC_SANITIZE=address: the fuzzers run without ASan/UBSan")
  endif()
endif()

# vc_fuzzer(name SOURCES ... LIBS ... [CORPUS dir]): a libFuzzer executable.
# A plain build (VC_BUILD_FUZZ off) skips it; the corpus replay tests under
# tests/ keep the inputs it found in the normal suite. CORPUS (relative to the
# calling folder, by convention fuzz-corpus/<name>) is where scripts/fuzz.sh
# keeps the minimised corpus; it is recorded in the target property
# VC_FUZZ_CORPUS. See docs/reliability.md.
function(vc_fuzzer name)
  cmake_parse_arguments(A "" "CORPUS" "SOURCES;LIBS" ${ARGN})
  if(NOT VC_BUILD_FUZZ)
    return()
  endif()
  add_executable(${name} ${A_SOURCES})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${A_LIBS})
  if(A_CORPUS)
    set_target_properties(${name} PROPERTIES VC_FUZZ_CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/${A_CORPUS})
  endif()
endfunction()
