# The Windows release of a cross build: `cmake --build build-win64 --target windows_release` writes
# the portable zip and the MSI into build-win64/release, named after the updater's and the
# firmware's versions (dist/windows/release.sh).
set(TARSEL_PACKAGE_TOOL "" CACHE FILEPATH
    "The build machine's tarsel-package, which reads the firmware version from data.rcc")
find_program(TARSEL_WIXL wixl)
find_program(TARSEL_ZIP zip)
if(NOT TARSEL_PACKAGE_TOOL OR NOT TARSEL_WIXL OR NOT TARSEL_ZIP)
    message(STATUS "No windows_release target: it needs TARSEL_PACKAGE_TOOL, wixl and zip")
    return()
endif()
add_custom_target(windows_release
    COMMAND bash ${PROJECT_SOURCE_DIR}/dist/windows/release.sh ${TARSEL_BIN_DIR}
        ${TARSEL_QT_KIT_DIR} "${TARSEL_MINGW_RUNTIME_PATH}" ${TARSEL_PACKAGE_TOOL}
        ${PROJECT_VERSION} ${CMAKE_BINARY_DIR}/release
    DEPENDS TarselUpdater tarsel-update product_package
    VERBATIM)
