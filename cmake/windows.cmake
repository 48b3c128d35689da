# Windows build (MinGW-w64 i686): the player, the packer, Windows-side tests and the end-to-end driver.

set(win32_defs UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
set(win32_libs windowscodecs ole32 oleaut32 shell32 comctl32 wtsapi32 gdi32 user32 kernel32 uuid)

target_compile_definitions(tovalin_core PUBLIC ${win32_defs})
# Everything Windows-side is linked statically so that one file runs on a bare system.
add_link_options(-static -static-libgcc -static-libstdc++)

# The platform pieces the packer shares with the player and the studio (the executable's own
# path, text conversions) go into the core library every program links: the packer does not
# link the Win32 core.
set(win32_host ${CMAKE_CURRENT_SOURCE_DIR}/src/platform/module_path_win32.cpp
               ${CMAKE_CURRENT_SOURCE_DIR}/src/platform/text_win32.cpp)
list(REMOVE_ITEM win32_core ${win32_host})
target_sources(tovalin_core PRIVATE ${win32_host})

add_library(tovalin_win32 STATIC ${win32_core})
target_link_libraries(tovalin_win32 PUBLIC tovalin_core ${win32_libs})
tovalin_warnings(tovalin_win32)

add_executable(tovalin-player WIN32 src/app/main_win32.cpp src/app/player.rc)
target_link_libraries(tovalin-player PRIVATE tovalin_win32)
target_link_options(tovalin-player PRIVATE -municode -s)
tovalin_warnings(tovalin-player)

# The same player with its symbol table, to put names to the addresses of a profile: the player
# above is stripped so that its package can follow the last section, and the code of both is laid
# out alike (bench/profile.py checks that before it names addresses).
add_executable(tovalin-player-symbols WIN32 src/app/main_win32.cpp src/app/player.rc)
target_link_libraries(tovalin-player-symbols PRIVATE tovalin_win32)
target_link_options(tovalin-player-symbols PRIVATE -municode)
tovalin_warnings(tovalin-player-symbols)

# The packer core with its Windows host pieces: the system's code page 932 converter, the wide
# command line and the console, and WIC for PNG, BMP and ICO frames. Objects, not an archive:
# the core calls into them, so they must be part of every program that links it.
file(GLOB pack_host CONFIGURE_DEPENDS src/pack/*_win32.cpp)
add_library(tovalin_pack_win32 OBJECT ${pack_host})
target_link_libraries(tovalin_pack_win32 PUBLIC tovalin_pack_core tovalin_win32 ${win32_libs})
tovalin_warnings(tovalin_pack_win32)

add_executable(tovalin-pack src/pack/main.cpp)
target_link_libraries(tovalin-pack PRIVATE tovalin_pack_win32)
target_link_options(tovalin-pack PRIVATE -s)
tovalin_warnings(tovalin-pack)

# The studio, shipped beside the player it packs and the packer.
add_executable(tovalin-studio WIN32 ${studio_win32} src/studio/studio.rc)
target_link_libraries(tovalin-studio PRIVATE tovalin_studio_core tovalin_pack_win32 tovalin_win32)
target_link_options(tovalin-studio PRIVATE -municode -s)
tovalin_warnings(tovalin-studio)

# GoogleTest from the Debian source package, built for this target.
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# Helpers the Windows-side tests and the benchmarks share.
file(GLOB support_sources CONFIGURE_DEPENDS tests/support/*.cpp)
add_library(tovalin_test_support STATIC ${support_sources})
target_include_directories(tovalin_test_support PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/tests)
target_link_libraries(tovalin_test_support PUBLIC tovalin_win32)
target_compile_definitions(tovalin_test_support PRIVATE TOVALIN_SOURCE_DIR="${CMAKE_CURRENT_SOURCE_DIR}")
tovalin_warnings(tovalin_test_support)

file(GLOB win32_tests CONFIGURE_DEPENDS tests/win32/*.cpp)
if(win32_tests)
    add_executable(tovalin-win32-tests ${win32_tests})
    # The authoring code is checked against what the system reads back.
    target_link_libraries(tovalin-win32-tests PRIVATE tovalin_test_support tovalin_pack_win32 gtest
                                                      gtest_main)
    target_compile_definitions(tovalin-win32-tests PRIVATE ${win32_defs})
    target_compile_definitions(tovalin-win32-tests PRIVATE TOVALIN_SOURCE_DIR="${CMAKE_CURRENT_SOURCE_DIR}")
    tovalin_warnings(tovalin-win32-tests)
    add_test(NAME win32 COMMAND tovalin-win32-tests)
    # The settings files must hold code page 932 on a Western system too.
    add_test(NAME win32-cp1252 COMMAND tovalin-win32-tests --gtest_filter=Settings.*)
    set_tests_properties(win32-cp1252 PROPERTIES ENVIRONMENT "TOVALIN_LANG=C.UTF-8")
endif()

add_executable(tovalin-driver tests/e2e/driver_win32.cpp)
target_link_libraries(tovalin-driver PRIVATE ${win32_libs})
target_compile_definitions(tovalin-driver PRIVATE ${win32_defs})
target_link_options(tovalin-driver PRIVATE -municode)
tovalin_warnings(tovalin-driver)

file(GLOB win32_benches CONFIGURE_DEPENDS bench/*_win32.cpp)
list(FILTER win32_benches EXCLUDE REGEX "startup_(work_)?floor_win32\\.cpp$")
foreach(src IN LISTS win32_benches)
    get_filename_component(name ${src} NAME_WE)
    string(REPLACE "_" "-" name "tovalin-${name}")
    add_executable(${name} ${src})
    target_link_libraries(${name} PRIVATE tovalin_test_support tovalin_pack_win32)
    target_link_options(${name} PRIVATE -municode)
    tovalin_warnings(${name})
endforeach()
# The start-up floor links nothing of ours: the libraries it imports are part of what it measures.
add_executable(tovalin-startup-floor WIN32 bench/startup_floor_win32.cpp)
target_link_options(tovalin-startup-floor PRIVATE -municode)
tovalin_warnings(tovalin-startup-floor)
# The work floor runs the player's portable package reader, GIF decoder and region builder, and
# imports only the system libraries that work needs.
add_executable(tovalin-startup-work-floor WIN32 bench/startup_work_floor_win32.cpp)
target_link_libraries(tovalin-startup-work-floor PRIVATE tovalin_core shell32 gdi32 user32 kernel32)
target_link_options(tovalin-startup-work-floor PRIVATE -municode)
tovalin_warnings(tovalin-startup-work-floor)
# The player's resources go last, so that a character's icon can replace them in place.
include(cmake/resources-last.cmake)
