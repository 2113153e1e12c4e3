# The Windows build (cross-built with mingw-w64 and tested under wine): GoogleTest built from
# Debian's sources with the cross compiler, and the firmware generator built for the build
# machine, since the one built for Windows cannot run there.

# GoogleTest: the Debian package ships sources only, so they are built here for the target.
function(trevane_cross_googletest)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    # Not our code: our warning flags do not apply to it.
    get_directory_property(ours COMPILE_OPTIONS)
    set_directory_properties(PROPERTIES COMPILE_OPTIONS "")
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    set_directory_properties(PROPERTIES COMPILE_OPTIONS "${ours}")
    foreach(lib gtest gtest_main gmock gmock_main)
        if(NOT TARGET GTest::${lib})
            add_library(GTest::${lib} ALIAS ${lib})
        endif()
    endforeach()
endfunction()

# imagegen for the build machine: a separate configure of the generator's sources with the host
# compiler, unless the caller names a ready one with -DIMAGEGEN_EXECUTABLE=/path/to/imagegen.
set(IMAGEGEN_EXECUTABLE "" CACHE FILEPATH "imagegen built for the build machine (cross builds)")
if(NOT IMAGEGEN_EXECUTABLE)
    include(ExternalProject)
    find_program(TREVANE_HOST_CXX NAMES c++ g++ clang++ REQUIRED)
    set(host_dir ${CMAKE_BINARY_DIR}/host_tools)
    ExternalProject_Add(host_imagegen
        SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}/host_tools
        BINARY_DIR ${host_dir}
        CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=${TREVANE_HOST_CXX}
                   -DTREVANE_SOURCE_DIR=${PROJECT_SOURCE_DIR}
        BUILD_ALWAYS ON
        INSTALL_COMMAND ""
        BUILD_BYPRODUCTS ${host_dir}/bin/imagegen)
    set(TREVANE_HOST_IMAGEGEN ${host_dir}/bin/imagegen)
    set(TREVANE_HOST_IMAGEGEN_TARGET host_imagegen)
else()
    set(TREVANE_HOST_IMAGEGEN ${IMAGEGEN_EXECUTABLE})
    set(TREVANE_HOST_IMAGEGEN_TARGET ${IMAGEGEN_EXECUTABLE})
endif()

# Test discovery runs the test programs under wine: at test time, so that building needs no wine.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)

# GCC 12 reports false -Wrestrict and -Wstringop-overflow warnings inside the standard library's
# string and vector code once it inlines them at -O3 (GCC bugs 105329, 106199); the cross
# compiler is a GCC 12.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    add_compile_options(-Wno-restrict -Wno-stringop-overflow)
endif()

# Executables that repeat byte for byte: no link time in the PE header. The build stamp in the
# product data follows SOURCE_DATE_EPOCH when it is set (imagegen).
add_link_options(-Wl,--no-insert-timestamp)
