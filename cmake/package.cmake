# Installation in the layout of a Debian game, and its package (make package):
#
#   PREFIX/games/qvox                        the program
#   PREFIX/lib/games/qvox/libraylib.so.600   raylib 6, private: Debian 12 has none
#   PREFIX/share/games/qvox/assets/          textures, texts, backgrounds, info page;
#                                            fonts/ links into the system's font packages
#   PREFIX/share/applications/qvox.desktop, PREFIX/share/metainfo/org.qvox.qvox.metainfo.xml
#   PREFIX/share/icons/hicolor/NxN/apps/qvox.png, PREFIX/share/man/man6/qvox.6.gz
#   PREFIX/share/doc/qvox/copyright, changelog.gz
#
# The program finds raylib through the run path $ORIGIN/../lib/games/qvox and knows
# it is installed when PREFIX/share/games/qvox/assets lies beside its folder
# (src/data_dir.cpp), so any prefix works and the build tree needs no
# different compile.

set(QVOX_VERSION "0.0.17-beta")
# "~" sorts before the final 0.0.17.
string(REPLACE "-" "~" qvox_deb_version "${QVOX_VERSION}")
set(qvox_maintainer "The qvox team <maintainers@users.noreply.c-seed-bdd39356.example>")
set(qvox_font_packages fonts-jetbrains-mono fonts-dejavu-core)
# GLFW, inside raylib, opens OpenGL and the X extensions at run time, out of
# sight of dpkg-shlibdeps.
set(qvox_runtime_packages libgl1 libxcursor1 libxi6 libxinerama1 libxrandr2)
set(qvox_dist "${CMAKE_SOURCE_DIR}/dist")

set_target_properties(qvox PROPERTIES INSTALL_RPATH "\$ORIGIN/../lib/games/qvox")

# Icons from the block textures, and the gzip'd manual page and changelog.
add_executable(qvox_gen_icon "${CMAKE_SOURCE_DIR}/tools/gen_icon.cpp")
target_link_libraries(qvox_gen_icon PRIVATE PkgConfig::RAYLIB)
set(qvox_icon_dir "${CMAKE_BINARY_DIR}/icons")
add_custom_command(OUTPUT "${qvox_icon_dir}/256x256/apps/qvox.png"
    COMMAND qvox_gen_icon "${qvox_icon_dir}" "${CMAKE_SOURCE_DIR}/assets/textures/blocks"
    DEPENDS qvox_gen_icon "${CMAKE_SOURCE_DIR}/assets/textures/blocks/grass.png"
            "${CMAKE_SOURCE_DIR}/assets/textures/blocks/dirt.png"
    COMMENT "Painting the application icons")
# -n keeps the archives free of time stamps: the same sources give the same package.
add_custom_command(OUTPUT "${CMAKE_BINARY_DIR}/qvox.6.gz" "${CMAKE_BINARY_DIR}/changelog.gz"
    COMMAND sh -c "gzip -9nc \"$1\" > qvox.6.gz && gzip -9nc \"$2\" > changelog.gz" sh
            "${qvox_dist}/qvox.6" "${qvox_dist}/changelog"
    DEPENDS "${qvox_dist}/qvox.6" "${qvox_dist}/changelog"
    WORKING_DIRECTORY "${CMAKE_BINARY_DIR}"
    VERBATIM)
add_custom_target(qvox_dist ALL DEPENDS "${qvox_icon_dir}/256x256/apps/qvox.png"
    "${CMAKE_BINARY_DIR}/qvox.6.gz" "${CMAKE_BINARY_DIR}/changelog.gz")

set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

install(TARGETS qvox RUNTIME DESTINATION games)
install(DIRECTORY "${CMAKE_SOURCE_DIR}/assets/" DESTINATION share/games/qvox/assets
    PATTERN fonts EXCLUDE)
install(CODE "set(qvox_fonts_source \"${CMAKE_SOURCE_DIR}/assets/fonts\")
              set(qvox_font_packages \"${qvox_font_packages}\")")
install(SCRIPT "${CMAKE_SOURCE_DIR}/cmake/install_fonts.cmake")

# A raylib from the system stays the system's; the one scripts/setup.sh built
# travels with the game.
list(GET RAYLIB_LIBRARY_DIRS 0 qvox_raylib_dir)
if(NOT qvox_raylib_dir MATCHES "^/usr/lib")
    # One file under the name the program asks for: nothing links against the others.
    file(REAL_PATH "${qvox_raylib_dir}/libraylib.so" qvox_raylib_file)
    execute_process(COMMAND "${CMAKE_OBJDUMP}" -p "${qvox_raylib_file}" OUTPUT_VARIABLE qvox_raylib_headers)
    string(REGEX MATCH "SONAME +([^\n ]+)" unused "${qvox_raylib_headers}")
    set(qvox_raylib_soname "${CMAKE_MATCH_1}")
    if(NOT qvox_raylib_soname)
        message(FATAL_ERROR "no SONAME in ${qvox_raylib_file}")
    endif()
    install(FILES "${qvox_raylib_file}" DESTINATION lib/games/qvox RENAME "${qvox_raylib_soname}"
        PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    # Built for release, but with its symbol table.
    install(CODE "execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-unneeded --remove-section=.comment
                                          --remove-section=.note
                                          \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/lib/games/qvox/${qvox_raylib_soname}\"
                                  RESULT_VARIABLE status)
                  if(status)
                      message(FATAL_ERROR \"strip failed on ${qvox_raylib_soname}\")
                  endif()")
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "${qvox_raylib_dir}")
endif()

install(FILES "${qvox_dist}/qvox.desktop" DESTINATION share/applications)
install(FILES "${qvox_dist}/org.qvox.qvox.metainfo.xml" DESTINATION share/metainfo)
install(DIRECTORY "${qvox_icon_dir}/" DESTINATION share/icons/hicolor)
install(FILES "${CMAKE_BINARY_DIR}/qvox.6.gz" DESTINATION share/man/man6)
install(FILES "${qvox_dist}/copyright" "${CMAKE_BINARY_DIR}/changelog.gz" DESTINATION share/doc/qvox)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qvox)
set(CPACK_PACKAGE_VERSION "${qvox_deb_version}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT "${qvox_maintainer}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "single-player voxel sandbox game")
set(CPACK_PACKAGE_DESCRIPTION
    "Walk, sneak, sprint, jump or fly through an endless landscape of blocks
grown from a 64-bit seed, break blocks into your inventory, place them
again and steer the world from a small chat console. Each player keeps
their own worlds and settings in their data folder. The menus speak
English, German and French.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_VERSION "${qvox_deb_version}")
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
string(REPLACE ";" ", " CPACK_DEBIAN_PACKAGE_DEPENDS "${qvox_font_packages};${qvox_runtime_packages}")
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
include(CPack)
