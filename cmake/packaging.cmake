# Installation, manual pages and the Debian package. The version comes from
# project(VERSION) alone; the manual pages and the package take it from there.

include(GNUInstallDirs)

# Only the two programs and their manual pages are installed: test binaries,
# fuzz targets and benchmarks stay in the build tree.
install(TARGETS zkdetect zkdevice RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Configures the manual pages and registers their checks.
add_subdirectory(doc)

set(CPACK_PACKAGE_NAME zkdetect)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "zkdetect developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "find zefo*kit devices on the local segment and change their IP settings")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_NAME zkdetect)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Whoever builds a package for distribution puts their own name here.
set(ZK_PACKAGE_MAINTAINER "zkdetect developers <zkdetect@example.org>" CACHE STRING
    "Maintainer field of the Debian package")
set(CPACK_PACKAGE_CONTACT "${ZK_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ZK_PACKAGE_MAINTAINER}")
# The summary line comes from CPACK_PACKAGE_DESCRIPTION_SUMMARY; CPack
# indents these lines and marks the empty one as Debian wants.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "zkdetect broadcasts a discovery request over UDP, lists every zefo*kit
device that answers with its MAC and IP address, lets the operator pick
one, shows its IP address, netmask, gateway, DHCP flag, MTU and
nameserver, edits them through a one-letter menu and sends the new
settings to the device by its MAC address, then waits for the device to
confirm.

zkdevice simulates one or more such devices on the local host, for trying
zkdetect without hardware and for testing it.")
# Dependencies are read off the binaries by dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# A source archive holds the checkout without its history or build trees.
set(CPACK_SOURCE_IGNORE_FILES "/\\.git/" "/build[^/]*/")

include(CPack)
