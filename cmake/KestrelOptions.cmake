# The system the platform layer's backend files are chosen for:
# <unit>_posix.cpp or <unit>_win32.cpp.
if(WIN32)
  set(KESTREL_OS win32)
else()
  set(KESTREL_OS posix)
endif()

# Windows programs and libraries carry the compiler's own runtime (C++,
# threads) inside them, so that a Windows gate needs no DLL but the system's
# and its core's.
if(WIN32)
  add_link_options(-static)
  # Programs and DLLs in one folder, where Windows looks for a program's DLLs.
  set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
endif()

# Everything a library or program needs from the dynamic loader is bound at
# load time, and the tables are read-only after (Debian's hardening).
if(NOT WIN32)
  add_link_options(LINKER:-z,relro LINKER:-z,now)
endif()

# Compiler options shared by every target of the project.
add_library(kestrel_options INTERFACE)
target_compile_options(kestrel_options INTERFACE -Wall -Wextra)
if(KESTREL_WERROR)
  target_compile_options(kestrel_options INTERFACE -Werror)
endif()
# g++ 12 reports -Wrestrict falsely for std::string concatenation in optimised
# builds (fixed in g++ 13); the warning is left on everywhere else.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(kestrel_options INTERFACE -Wno-restrict)
endif()
# The generated kestrel/version.h lies in the build tree's include folder.
target_include_directories(kestrel_options INTERFACE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/include
                                                     ${PROJECT_BINARY_DIR}/include)

if(KESTREL_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(KESTREL_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT KESTREL_SANITIZE STREQUAL "")
  message(FATAL_ERROR "KESTREL_SANITIZE must be empty, 'address' or 'thread'")
endif()

# Fuzz builds: every library the fuzz targets drive gets coverage
# instrumentation and the sanitizers, not only the targets' own sources.
if(KESTREL_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# kestrel_add_unit(<target> SOURCES ... DEPS ...): one static, position
# independent library per layer folder.
function(kestrel_add_unit name)
  cmake_parse_arguments(U "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${U_SOURCES})
  target_link_libraries(${name} PUBLIC kestrel_options ${U_DEPS})
endfunction()

# kestrel_add_test(<target> SOURCES ... DEPS ... [LOCK <resource>]): one
# GoogleTest program; with LOCK, none of its tests runs beside another test
# that takes the same resource (a device or display every run shares).
function(kestrel_add_test name)
  cmake_parse_arguments(T "" "LOCK" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE kestrel_options ${T_DEPS} GTest::gtest GTest::gtest_main GTest::gmock)
  set(lock)
  if(T_LOCK)
    set(lock RESOURCE_LOCK ${T_LOCK})
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES TIMEOUT 300 ${lock})
endfunction()
