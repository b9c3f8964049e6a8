# The Debian package of the updater: `cpack -G DEB` in the build folder writes
# tarsel-updater_<version>_<architecture>.deb from the install rules.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarsel-updater)
set(CPACK_PACKAGE_VENDOR corvel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# ...which becomes <updater version>+fw<firmware version> when cpack runs.
configure_file(cmake/PackageVersion.cmake.in ${CMAKE_BINARY_DIR}/PackageVersion.cmake @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/PackageVersion.cmake)
set(CPACK_PACKAGE_CONTACT "${TARSEL_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "firmware updater for Tarsel storage products")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "A wizard that installs the firmware it carries into an external Tarsel storage
product connected by USB in update mode. It checks that the firmware suits the
product's hardware and is newer than the installed one, replaces and verifies
the firmware file, and reports the outcome. tarsel-update runs the same update
from a terminal or a script, without a display.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TARSEL_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# The Qt libraries come from the shared-library scan; the QML modules are loaded at run time,
# which the scan cannot see. The font is compiled in, so no font package.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qml-module-qtquick2, qml-module-qtquick-controls, qml-module-qtquick-layouts, qml-module-qtquick-window2")
# tarsel-package build packs with rcc and compiles translations with lrelease.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "qtbase5-dev-tools, qttools5-dev-tools")
include(CPack)
