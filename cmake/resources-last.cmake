# The player's resource section goes last in the image.
#
# Giving a character its own icon rewrites the player's resources, and the resource section can
# only grow in place when nothing follows it: the package reader takes the end of the last
# section as the end of the image. The default linker script puts .reloc after .rsrc, so the
# player is linked with a copy of that script in which .rsrc follows .reloc instead. The
# relocations stay, and with them address space layout randomisation.

execute_process(
    COMMAND ${CMAKE_CXX_COMPILER} -print-prog-name=ld
    OUTPUT_VARIABLE player_ld OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE player_ld_result)
if(NOT player_ld_result EQUAL 0 OR player_ld STREQUAL "")
    message(FATAL_ERROR "Cannot find the linker of ${CMAKE_CXX_COMPILER}")
endif()
execute_process(
    COMMAND ${player_ld} --verbose
    OUTPUT_VARIABLE ld_verbose
    RESULT_VARIABLE ld_verbose_result)
if(NOT ld_verbose_result EQUAL 0)
    message(FATAL_ERROR "${player_ld} --verbose failed; the player's linker script needs it")
endif()

# ld --verbose prints its built-in script between two rules of '=' signs.
set(rule "==================================================\n")
string(FIND "${ld_verbose}" "${rule}" script_begin)
string(FIND "${ld_verbose}" "${rule}" script_end REVERSE)
if(script_begin EQUAL -1 OR script_end LESS_EQUAL script_begin)
    message(FATAL_ERROR "${player_ld} --verbose printed no linker script")
endif()
string(LENGTH "${rule}" rule_length)
math(EXPR script_begin "${script_begin} + ${rule_length}")
math(EXPR script_length "${script_end} - ${script_begin}")
string(SUBSTRING "${ld_verbose}" ${script_begin} ${script_length} default_script)

# Output section statements of the form "  .name BLOCK(...) ... { ... }": their bodies hold no
# brace, so a body runs to the first closing one.
set(rsrc_pattern "  \\.rsrc BLOCK\\(__section_alignment__\\)[^{]*{[^}]*}\n")
set(reloc_pattern "  \\.reloc BLOCK\\(__section_alignment__\\)[^{]*{[^}]*}\n")
string(REGEX MATCH "${rsrc_pattern}" rsrc_statement "${default_script}")
string(REGEX MATCH "${reloc_pattern}" reloc_statement "${default_script}")
if(rsrc_statement STREQUAL "" OR reloc_statement STREQUAL "")
    message(FATAL_ERROR "The default linker script of ${player_ld} has no .rsrc or .reloc "
                        "statement in the expected form; cmake/resources-last.cmake needs updating")
endif()
string(REPLACE "${rsrc_statement}" "" resources_last "${default_script}")
string(REPLACE "${reloc_statement}" "${reloc_statement}${rsrc_statement}" resources_last
               "${resources_last}")

# Copied into place only when it changes, so that configuring again does not relink the player.
set(player_script ${CMAKE_BINARY_DIR}/player-resources-last.ld)
file(WRITE ${player_script}.new "/* ${player_ld}'s default script with .rsrc moved after .reloc */\n"
                                "${resources_last}")
configure_file(${player_script}.new ${player_script} COPYONLY)
# The player's symbol-table twin is laid out alike, so that a profile's addresses name the same
# code in both.
foreach(player tovalin-player tovalin-player-symbols)
    if(TARGET ${player})
        target_link_options(${player} PRIVATE "-Wl,-T,${player_script}")
        set_property(TARGET ${player} APPEND PROPERTY LINK_DEPENDS ${player_script})
    endif()
endforeach()
