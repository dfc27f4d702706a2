# The Debian package, built by `cpack -G DEB` in the build folder from the install rules. Its
# dependencies are computed from the binary by dpkg-shlibdeps (package dpkg-dev), so they name
# the Qt runtime libraries the program really links.
set(CPACK_PACKAGE_NAME trellmo)
set(CPACK_PACKAGE_VENDOR "Trellmo developers")
set(CPACK_PACKAGE_CONTACT "Trellmo developers <developers@trellmo.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "companion program of a portable gas detector")
set(CPACK_PACKAGE_DESCRIPTION
    "Reads the channel configuration of a portable gas detector with four or six sensor\n\
channels over its USB serial cable and downloads the stored records into one Excel 97-2003\n\
workbook per day.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
