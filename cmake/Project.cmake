# Project-wide settings and helpers shared by every folder.

if(QX_WIN32)
  enable_language(RC)
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
  add_compile_options(-Wall -Wextra -Wno-unused-parameter -Wno-cast-function-type)
  # No mingw runtime DLL is shipped: everything links statically.
  add_link_options(-static -static-libgcc -static-libstdc++)

  # i686 is the shipped build; x86_64 runs the same sources and tests on 64-bit-only hosts.
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    set(QX_ARCH x86_64)
    set(QX_WINE_ARCH win64)
  else()
    set(QX_ARCH i686)
    set(QX_WINE_ARCH win32)
  endif()
  find_program(QX_DLLTOOL NAMES ${QX_ARCH}-w64-mingw32-dlltool REQUIRED)

  set(QX_DEPS_PREFIX "${CMAKE_SOURCE_DIR}/.deps/${QX_ARCH}" CACHE PATH "third-party prefix of this architecture")
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
      ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh --prefix ${CMAKE_BINARY_DIR}/wineprefix --arch ${QX_WINE_ARCH})
else()
  add_compile_options(-Wall -Wextra -fno-omit-frame-pointer -fsanitize=address,undefined
                      -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

# The product's narrow string literals are GBK (code page 936), the bytes its windows, files
# and packets carry, so a Chinese text reads as itself in the source (which stays UTF-8);
# texts for the wide calls are L"" literals, and u8"" keeps a literal UTF-8 where the bytes
# must be UTF-8. Resource scripts are read as UTF-8 (#pragma code_page(65001)) and stored
# as UTF-16 by the resource compiler. Clang knows no execution character set but UTF-8: the
# fuzzing build (clang) keeps UTF-8 literals, which its robustness checks do not depend on.
set(QX_GBK_LITERALS $<$<AND:$<COMPILE_LANGUAGE:CXX>,$<CXX_COMPILER_ID:GNU>>:-fexec-charset=GBK>)

# SQLite is C source: both builds compile the amalgamation that the dependency script unpacked.
set(QX_SQLITE_SOURCE "${CMAKE_SOURCE_DIR}/.deps/src/sqlite3" CACHE PATH "SQLite amalgamation")
if(EXISTS ${QX_SQLITE_SOURCE}/sqlite3.c)
  add_library(qx_sqlite3 STATIC ${QX_SQLITE_SOURCE}/sqlite3.c)
  target_include_directories(qx_sqlite3 SYSTEM PUBLIC ${QX_SQLITE_SOURCE})
  target_compile_options(qx_sqlite3 PRIVATE -w -fno-sanitize=all)
  # Column metadata: the data layer finds the table and column behind each result column.
  target_compile_definitions(qx_sqlite3 PRIVATE SQLITE_THREADSAFE=0 SQLITE_OMIT_LOAD_EXTENSION
                             SQLITE_ENABLE_COLUMN_METADATA)
  # A 64-bit process may view a whole store of several gigabytes (the data layer asks for it).
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    target_compile_definitions(qx_sqlite3 PRIVATE SQLITE_MAX_MMAP_SIZE=0x10000000000)
  endif()
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

# qx_arch_def(OUT_VAR DEF): the .def file for this architecture. Sources write stdcall names
# decorated (SDT_OpenPort@4) as x86 has them; x64 has no decoration, so there the
# decorations are dropped into a copy in the build tree. Ordinals (" @1") stay.
function(qx_arch_def out def)
  if(QX_ARCH STREQUAL "i686")
    set(${out} ${def} PARENT_SCOPE)
    return()
  endif()
  get_filename_component(name ${def} NAME)
  file(READ ${def} text)
  string(REGEX REPLACE "([A-Za-z0-9_])@[0-9]+" "\\1" text "${text}")
  set(copy ${CMAKE_CURRENT_BINARY_DIR}/${QX_ARCH}-${name})
  file(WRITE ${copy}.tmp "${text}")
  file(COPY_FILE ${copy}.tmp ${copy} ONLY_IF_DIFFERENT)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${def})
  set(${out} ${copy} PARENT_SCOPE)
endfunction()

# qx_spooler_fixture(NAME DIR [STOPPED]): a private CUPS spooler (scripts/spooler.sh) in DIR as
# the CTest fixture NAME, started before and stopped after the tests that require it (with
# STOPPED: one that is not running, for the "no printer" path), and NAME_ENV, the environment
# those tests need: CUPS_SERVER on its socket and the folder and script that
# tests/support/Spooler reads. The fixture's steps lock "spooler", as every test that prints must.
function(qx_spooler_fixture name dir)
  cmake_parse_arguments(S "STOPPED" "" "" ${ARGN})
  set(script ${CMAKE_SOURCE_DIR}/scripts/spooler.sh)
  # The socket name that spooler.sh gives the spooler of a folder.
  string(MD5 hash "${dir}")
  string(SUBSTRING "${hash}" 0 12 short)
  if(S_STOPPED)
    add_test(NAME ${name}_setup COMMAND bash ${script} stop ${dir})
  else()
    add_test(NAME ${name}_setup COMMAND bash ${script} start ${dir})
    add_test(NAME ${name}_cleanup COMMAND bash ${script} stop ${dir})
    set_tests_properties(${name}_cleanup PROPERTIES FIXTURES_CLEANUP ${name} RESOURCE_LOCK spooler)
  endif()
  set_tests_properties(${name}_setup PROPERTIES FIXTURES_SETUP ${name} RESOURCE_LOCK spooler)
  set(${name}_ENV "CUPS_SERVER=/tmp/qx-cups-${short}.sock;QX_SPOOLER_DIR=${dir};QX_SPOOLER_SCRIPT=${script}"
      PARENT_SCOPE)
endfunction()
