# cpack: a Debian package of what `cmake --install` puts in place, under /usr. The libraries
# the game links are found by dpkg-shlibdeps; the GL and EGL libraries are loaded at run time,
# so they are named here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME dedivirede)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Dedivirede developers <dedivirede@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "third-person game of jumps and ledges in rooms joined by portals")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION_SUMMARY}
 Run, jump, grab ledges, hang, shimmy and climb through three levels (a course
 of nine halls, a flooded cistern and a windswept tower) on a small real-time
 3D engine. Keyboard or gamepad, five save slots, rebindable keys.")
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libgl1, libegl1")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libgl1-mesa-dri")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
include(CPack)
