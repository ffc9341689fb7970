# Runs at install time: links assets/fonts/FAMILY/ttf/NAME of the installed
# tree to the font files the repository's assets/fonts links to
# (tools/place_fonts.sh), keeping only those of the font packages the game
# depends on; fonts of other packages on the build machine need not be on
# the player's. Expects qvox_fonts_source and qvox_font_packages.

execute_process(COMMAND dpkg-query -L ${qvox_font_packages}
    OUTPUT_VARIABLE packaged RESULT_VARIABLE status ERROR_VARIABLE error)
if(status)
    message(FATAL_ERROR "dpkg-query cannot list the files of ${qvox_font_packages}: ${error}")
endif()
string(REPLACE "\n" ";" packaged "${packaged}")

set(fonts_dir "${CMAKE_INSTALL_PREFIX}/share/games/qvox/assets/fonts")
file(GLOB_RECURSE links LIST_DIRECTORIES false RELATIVE "${qvox_fonts_source}" "${qvox_fonts_source}/*/ttf/*.ttf")
set(count 0)
foreach(link ${links})
    file(READ_SYMLINK "${qvox_fonts_source}/${link}" target)
    list(FIND packaged "${target}" index)
    if(index EQUAL -1)
        continue()
    endif()
    get_filename_component(dir "${fonts_dir}/${link}" DIRECTORY)
    # Debian wants links within one top-level folder to be relative.
    string(REGEX MATCH "^/[^/]+" link_top "${dir}")
    string(REGEX MATCH "^/[^/]+" target_top "${target}")
    if(link_top STREQUAL target_top)
        file(RELATIVE_PATH target "${dir}" "${target}")
    endif()
    file(MAKE_DIRECTORY "$ENV{DESTDIR}${dir}")
    file(CREATE_LINK "${target}" "$ENV{DESTDIR}${fonts_dir}/${link}" SYMBOLIC)
    math(EXPR count "${count} + 1")
endforeach()
if(count EQUAL 0)
    message(FATAL_ERROR "no font of ${qvox_font_packages} is linked in ${qvox_fonts_source} (tools/place_fonts.sh)")
endif()
message(STATUS "Linked ${count} fonts of ${qvox_font_packages} into ${fonts_dir}")
