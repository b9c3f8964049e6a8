# The tests of a Windows cross build run on Wine, in a prefix of the build's own, finding the kit's
# Qt and the MinGW runtime without a copy of either.
find_program(TARSEL_WINE wine)
if(NOT TARSEL_WINE)
    message(FATAL_ERROR "No wine: install wine64 (scripts/deps.sh)")
endif()
get_filename_component(TARSEL_QT_KIT_DIR "${Qt5Core_DIR}/../../.." ABSOLUTE)
set(TARSEL_MINGW_RUNTIME)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
        OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
        message(FATAL_ERROR "The compiler knows no ${dll}")
    endif()
    list(APPEND TARSEL_MINGW_RUNTIME ${path})
    get_filename_component(dir ${path} DIRECTORY)
    get_filename_component(dir ${dir} REALPATH)
    list(APPEND runtime_dirs ${dir})
endforeach()
list(REMOVE_DUPLICATES runtime_dirs)
list(JOIN runtime_dirs ";" TARSEL_MINGW_RUNTIME_PATH)
set(TARSEL_WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ
    WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)
# Tests that pack packages run the kit's rcc, a program of the build machine, through this.
get_target_property(TARSEL_HOST_RCC Qt5::rcc IMPORTED_LOCATION)
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-rcc.sh.in ${CMAKE_BINARY_DIR}/wine-rcc.sh @ONLY
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ
    WORLD_EXECUTE)
# Through a batch file that waits for a mark the script leaves: Wine neither signals the end of a
# Unix program it starts nor hands it the caller's current folder.
string(REPLACE "/" "\\" wine_rcc "Z:${CMAKE_BINARY_DIR}/wine-rcc.sh")
file(WRITE ${CMAKE_BINARY_DIR}/wine-rcc.bat
    "@del /q rcc.done 2>nul\r\n"
    "@${wine_rcc} \"%CD%\" %*\r\n"
    ":wait\r\n"
    "@if not exist rcc.done goto wait\r\n"
    "@set /p status=<rcc.done\r\n"
    "@del rcc.done\r\n"
    "@exit /b %status%\r\n")
set(TARSEL_TEST_RCC Z:${CMAKE_BINARY_DIR}/wine-rcc.bat)
