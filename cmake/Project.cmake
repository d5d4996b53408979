# Project-wide settings and helpers shared by every folder.

if(QX_WIN32)
  enable_language(RC)
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
  add_compile_options(-Wall -Wextra -Wno-unused-parameter -Wno-cast-function-type)
  # No mingw runtime DLL is shipped: everything links statically.
  add_link_options(-static -static-libgcc -static-libstdc++)

  set(QX_DEPS_PREFIX "${CMAKE_SOURCE_DIR}/.deps/i686" CACHE PATH "i686 third-party prefix")
  if(EXISTS ${QX_DEPS_PREFIX}/lib/libcrypto.a)
    add_library(qx::crypto STATIC IMPORTED GLOBAL)
    set_target_properties(qx::crypto PROPERTIES
      IMPORTED_LOCATION ${QX_DEPS_PREFIX}/lib/libcrypto.a
      INTERFACE_INCLUDE_DIRECTORIES ${QX_DEPS_PREFIX}/include
      INTERFACE_LINK_LIBRARIES "ws2_32;crypt32;user32;advapi32")
  endif()
  if(EXISTS ${QX_DEPS_PREFIX}/lib/libjpeg.a)
    add_library(qx::jpeg STATIC IMPORTED GLOBAL)
    set_target_properties(qx::jpeg PROPERTIES
      IMPORTED_LOCATION ${QX_DEPS_PREFIX}/lib/libjpeg.a
      INTERFACE_INCLUDE_DIRECTORIES ${QX_DEPS_PREFIX}/include)
  endif()

  # Tests run under Wine; the emulator makes sure the prefix and a display are there.
  set(CMAKE_CROSSCOMPILING_EMULATOR
      ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh --prefix ${CMAKE_BINARY_DIR}/wineprefix)
else()
  add_compile_options(-Wall -Wextra -fno-omit-frame-pointer -fsanitize=address,undefined
                      -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

# SQLite is C source: both builds compile the amalgamation that the dependency script unpacked.
set(QX_SQLITE_SOURCE "${CMAKE_SOURCE_DIR}/.deps/i686/src/sqlite3" CACHE PATH "SQLite amalgamation")
if(EXISTS ${QX_SQLITE_SOURCE}/sqlite3.c)
  add_library(qx_sqlite3 STATIC ${QX_SQLITE_SOURCE}/sqlite3.c)
  target_include_directories(qx_sqlite3 SYSTEM PUBLIC ${QX_SQLITE_SOURCE})
  target_compile_options(qx_sqlite3 PRIVATE -w -fno-sanitize=all)
  # Column metadata: the data layer finds the table and column behind each result column.
  target_compile_definitions(qx_sqlite3 PRIVATE SQLITE_THREADSAFE=0 SQLITE_OMIT_LOAD_EXTENSION
                             SQLITE_ENABLE_COLUMN_METADATA)
  add_library(qx::sqlite3 ALIAS qx_sqlite3)
endif()

# qx_add_test(NAME SOURCES a.cpp ... LIBS lib ... [DESKTOP] [TIMEOUT s])
# One GoogleTest executable, one CTest entry. DESKTOP marks tests that own titled
# top-level windows or named kernel objects, which must not run beside each other.
function(qx_add_test name)
  cmake_parse_arguments(T "DESKTOP" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name} --gtest_color=no)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 600)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
  if(T_DESKTOP)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK desktop)
  endif()
endfunction()
