# The Windows build made with the MinGW-w64 cross compiler against a prefix of Windows libraries
# (tools/windows/build-sdk.sh): where the DLLs the programs load come from, and Wine as the way
# to run them here. build-win/wine-run.sh starts a Windows program of this build under Wine,
# with the build's own Wine prefix and its DLLs on Wine's search path; ctest runs the suites
# through it.

if(NOT WIN32 OR NOT CMAKE_CROSSCOMPILING)
    return()
endif()

# The prefix: Qt6Config.cmake is in <prefix>/lib/cmake/Qt6.
get_filename_component(BRIMVOLT_WIN_PREFIX "${Qt6_DIR}/../../.." ABSOLUTE)
# The compiler's own runtime DLLs, where Debian's MinGW-w64 keeps them.
set(BRIMVOLT_WIN_RUNTIME_DLLS)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                    OUTPUT_VARIABLE found OUTPUT_STRIP_TRAILING_WHITESPACE)
    get_filename_component(found "${found}" ABSOLUTE)
    if(NOT EXISTS "${found}")
        message(FATAL_ERROR "The compiler's ${dll} was not found (Debian: g++-mingw-w64-x86-64-posix)")
    endif()
    list(APPEND BRIMVOLT_WIN_RUNTIME_DLLS "${found}")
endforeach()

set(BRIMVOLT_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine CACHE PATH "The Wine prefix the tests run in")
set(dll_folders "${BRIMVOLT_WIN_PREFIX}/bin")
foreach(dll IN LISTS BRIMVOLT_WIN_RUNTIME_DLLS)
    get_filename_component(folder "${dll}" DIRECTORY)
    list(APPEND dll_folders "${folder}")
endforeach()
list(REMOVE_DUPLICATES dll_folders)
list(TRANSFORM dll_folders PREPEND "Z:")
list(JOIN dll_folders ";" BRIMVOLT_WINE_PATH)
# Qt's own Russian texts, and a qt.conf that shows the programs of this build the SDK's plugins
# and those texts.
find_file(BRIMVOLT_QTBASE_RU qtbase_ru.qm PATHS /usr/share/qt6/translations NO_DEFAULT_PATH
          NO_CMAKE_FIND_ROOT_PATH)
if(NOT BRIMVOLT_QTBASE_RU)
    message(FATAL_ERROR "qtbase_ru.qm was not found (Debian: qt6-translations-l10n)")
endif()
file(COPY ${BRIMVOLT_QTBASE_RU} DESTINATION ${CMAKE_BINARY_DIR}/translations)
file(WRITE ${CMAKE_BINARY_DIR}/bin/qt.conf
     "[Paths]\nPrefix=Z:${BRIMVOLT_WIN_PREFIX}\nTranslations=Z:${CMAKE_BINARY_DIR}/translations\n")

configure_file(${CMAKE_SOURCE_DIR}/tools/windows/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh
               @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
               GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)
