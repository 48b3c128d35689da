# The version, from one place: the file VERSION at the top of the source tree. Every program's
# version resource, its manifest and the packer's --version read it through the generated
# tovalin_version.h.
set(TOVALIN_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/cmake/templates/tovalin_version.h.in
               ${TOVALIN_GENERATED_DIR}/tovalin_version.h @ONLY)
foreach(arch x86 amd64)
    configure_file(${CMAKE_CURRENT_SOURCE_DIR}/cmake/templates/player-${arch}.manifest.in
                   ${TOVALIN_GENERATED_DIR}/player-${arch}.manifest @ONLY)
endforeach()
include_directories(${TOVALIN_GENERATED_DIR})
