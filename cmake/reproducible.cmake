# The same sources give the same bytes, whatever the folder they are built in and whenever:
# no build path and no link time stamp in the programs.
add_compile_options(-ffile-prefix-map=${CMAKE_CURRENT_SOURCE_DIR}/=
                    -ffile-prefix-map=${CMAKE_BINARY_DIR}/=)
if(WIN32)
    add_link_options(-Wl,--no-insert-timestamp)
endif()
