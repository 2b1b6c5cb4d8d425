# The Debian package, made by CPack from the install rules:
#   cmake --build build && (cd build && cpack -G DEB)
# gives build/vornix-can-analyzer_<version>_<architecture>.deb (scripts/package.sh).

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${VORNIX_PACKAGE_NAME})
set(CPACK_PACKAGE_VENDOR "The Vornix Can Analyzer maintainers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "CAN-bus monitor for serial CAN adapters")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The build carries debugging information; the package does not.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${VORNIX_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The extended description, under the summary as synopsis (lines of at most 80
# characters).
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "A desktop program that shows the CAN frames a low-cost serial CAN adapter
receives: live, one row per identifier with the changed bytes flashing, or one
row per frame like a log. It sets the adapter's CAN bit rate and identifier
filter list, records the traffic to CSV files and decodes the J1939 FMS truck
parameters (fuel level, engine speed, distance, temperatures).
.
Command-line tools come with it, each with a manual page: a logger of the
adapter's traffic without a window, an emulated adapter on a pseudo-terminal
and a converter between recording formats.")
# The libraries' packages come from dpkg-shlibdeps; the fonts the window asks
# for are added by name.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-inter, fonts-jetbrains-mono")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

include(CPack)
