# The Debian package (`cpack -G DEB` in a build folder; scripts/package.sh does it for a release
# build). The libraries the programs link are found by dpkg-shlibdeps; only what no linker sees is
# named here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tovrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tovrel developers")
set(CPACK_PACKAGE_CONTACT "Tovrel developers <tovrel@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "programs for Tovrel USB HDMI capture boxes")
# The summary above is the first line; CPack indents this text as Debian wants it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "tovrel2 shows the picture of a Tovrel USB HDMI capture box, plays its sound,
records both into MP4 files and takes snapshots. tovrel-panel shows the box's
status, sets its controls and updates its firmware; tovrelctl does the same
from the command line, for scripts.

Every program can run a simulated box (--simulate) for a demonstration without
hardware. A udev rule lets the person at the desktop reach the boxes' USB
devices without root.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its window-system plugin at run time: no linker sees it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# What Debian wants beside the programs: the copyright and a changelog (compressed).
set(debian_generated ${CMAKE_CURRENT_BINARY_DIR}/generated/debian)
file(MAKE_DIRECTORY ${debian_generated})
string(TIMESTAMP changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog.in ${debian_generated}/changelog @ONLY)
add_custom_command(OUTPUT ${debian_generated}/changelog.gz
    COMMAND gzip -9nkf ${debian_generated}/changelog
    DEPENDS ${debian_generated}/changelog)
add_custom_target(tovrel_debian_changelog ALL DEPENDS ${debian_generated}/changelog.gz)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${debian_generated}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

include(CPack)
