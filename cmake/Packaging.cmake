# The Debian package, made by `cpack -G DEB` from any build: the same install rules as
# `cmake --install`, laid under /usr as a Debian package installs (whatever CMAKE_INSTALL_PREFIX
# says; the programs find zipcode.bck relative to themselves), and the dependencies computed
# from the installed programs by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME nestbridge)
set(CPACK_PACKAGE_VENDOR "Nestbridge")
set(CPACK_PACKAGE_CONTACT "Nestbridge maintainers <maintainers@users.noreply.c-seed-f761fff3.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "carries an accounting data folder between two computers through an FTP server")
set(CPACK_PACKAGE_DESCRIPTION
    "Nestbridge packs the accounting program's data tables into a compressed backup archive, uploads it to the service's FTP server, and on the other computer downloads it and rebuilds the data folder. nestbridge is the desktop program, nestbridge-cli the same workflows for scripts.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
