# Native Linux build: portable code, the packer, unit tests, benchmarks and fuzzers.

# A portable file must not reach for Windows headers, and no include may point up the layers;
# the native build refuses to go on otherwise.
add_custom_target(portable_check ALL
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tools/check-portable ${CMAKE_CURRENT_SOURCE_DIR}
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tools/check-layers ${CMAKE_CURRENT_SOURCE_DIR}
    COMMENT "Checking that portable files include no Windows header and that layers point down")
add_dependencies(tovalin_core portable_check)

# The platform's host pieces away from Windows: /proc for the executable's own path.
file(GLOB platform_host CONFIGURE_DEPENDS src/platform/*_posix.cpp)
target_sources(tovalin_core PRIVATE ${platform_host})

# The packer's host pieces away from Windows: iconv for code page 932, arguments and output as
# they stand, and no decoder for PNG, BMP and ICO frames.
file(GLOB pack_host CONFIGURE_DEPENDS src/pack/*_posix.cpp)

add_executable(tovalin-pack src/pack/main.cpp ${pack_host})
target_link_libraries(tovalin-pack PRIVATE tovalin_pack_core)
tovalin_warnings(tovalin-pack)

find_package(GTest REQUIRED)
file(GLOB unit_tests CONFIGURE_DEPENDS tests/unit/*.cpp)
add_executable(tovalin-unit-tests ${unit_tests} ${pack_host} tests/support/png_file.cpp)
target_include_directories(tovalin-unit-tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/tests)
target_link_libraries(tovalin-unit-tests PRIVATE tovalin_studio_core GTest::gtest GTest::gtest_main)
target_compile_definitions(tovalin-unit-tests PRIVATE
    TOVALIN_SOURCE_DIR="${CMAKE_CURRENT_SOURCE_DIR}"
    TOVALIN_PACK_EXE="$<TARGET_FILE:tovalin-pack>")
tovalin_warnings(tovalin-unit-tests)
add_dependencies(tovalin-unit-tests tovalin-pack)
add_test(NAME unit COMMAND tovalin-unit-tests)

file(GLOB native_benches CONFIGURE_DEPENDS bench/*_bench.cpp)
if(native_benches)
    find_package(benchmark REQUIRED)
    add_executable(tovalin-bench ${native_benches})
    target_sources(tovalin-bench PRIVATE ${pack_host})
    target_link_libraries(tovalin-bench PRIVATE tovalin_pack_core benchmark::benchmark benchmark::benchmark_main)
endif()

if(TOVALIN_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        message(FATAL_ERROR "TOVALIN_FUZZ needs clang (libFuzzer); use the fuzz preset")
    endif()
    # The code under test carries the coverage instrumentation the fuzzer steers by, not only the
    # targets; without it every input looks alike and the corpus never grows. A sanitizer report
    # must end the run, so nothing recovers.
    set(fuzz_sanitizers -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    foreach(lib tovalin_core tovalin_pack_core tovalin_studio_core)
        target_compile_options(${lib} PRIVATE -fsanitize=fuzzer-no-link ${fuzz_sanitizers})
        target_link_options(${lib} INTERFACE -fsanitize=address,undefined)
    endforeach()
    file(GLOB fuzzers CONFIGURE_DEPENDS tests/fuzz/*_fuzz.cpp)
    foreach(src IN LISTS fuzzers)
        get_filename_component(name ${src} NAME_WE)
        add_executable(${name} ${src} ${pack_host})
        target_link_libraries(${name} PRIVATE tovalin_pack_core)
        target_compile_options(${name} PRIVATE -fsanitize=fuzzer ${fuzz_sanitizers})
        target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
        tovalin_warnings(${name})
    endforeach()
endif()

# The end-to-end tests' stand-in for libXinerama: it makes one wide X screen several monitors.
# Loaded into Wine, so never built with the sanitizers.
if(NOT TOVALIN_SANITIZE AND NOT TOVALIN_FUZZ)
    add_library(xinerama_standin SHARED tests/e2e/xinerama_standin.c)
    set_target_properties(xinerama_standin PROPERTIES
        OUTPUT_NAME Xinerama SOVERSION 1 LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/xinerama)
endif()
