# Project include of `make wincheck`: the project configured as a Windows build with the MinGW-w64
# cross compiler, over the host's Qt. Building it compiles every C++ source with -fsyntax-only
# and runs the resource script through windres. Nothing is archived or linked: those steps only
# leave empty stand-ins, and the host's Qt libraries stand in for the Windows import libraries
# CMake asks for.

set(CMAKE_CXX_ARCHIVE_CREATE "<CMAKE_COMMAND> -E touch <TARGET>")
set(CMAKE_CXX_ARCHIVE_APPEND "<CMAKE_COMMAND> -E touch <TARGET>")
set(CMAKE_CXX_ARCHIVE_FINISH "")
set(CMAKE_CXX_LINK_EXECUTABLE "<CMAKE_COMMAND> -E touch <TARGET>")

# The host's own headers (Qt's Vulkan include folder is /usr/include) must not shadow the cross
# compiler's C library.
list(APPEND CMAKE_CXX_IMPLICIT_INCLUDE_DIRECTORIES /usr/include)

set(BRIMVOLT_WINCHECK_GUARD ${CMAKE_CURRENT_LIST_DIR}/WinCheckGuard.h)

# The headers of SQLite, libmosquitto and libqrencode are plain C for every platform, but they live in the
# host's /usr/include, which the cross compiler must not search: copies in a folder of their own
# serve them, and the host's libraries stand in for the ones a Windows build links.
set(BRIMVOLT_WINCHECK_INCLUDE ${CMAKE_BINARY_DIR}/wincheck-include)
foreach(header sqlite3.h mosquitto.h qrencode.h)
    find_file(BRIMVOLT_HOST_${header} ${header} PATHS /usr/include NO_DEFAULT_PATH)
    if(BRIMVOLT_HOST_${header})
        file(COPY ${BRIMVOLT_HOST_${header}} DESTINATION ${BRIMVOLT_WINCHECK_INCLUDE})
    endif()
endforeach()
foreach(library sqlite3 mosquitto qrencode)
    foreach(folder /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE} /usr/lib/x86_64-linux-gnu)
        if(EXISTS ${folder}/lib${library}.so AND NOT BRIMVOLT_HOST_${library})
            set(BRIMVOLT_HOST_${library} ${folder}/lib${library}.so)
        endif()
    endforeach()
endforeach()
if(BRIMVOLT_HOST_sqlite3.h AND BRIMVOLT_HOST_sqlite3)
    set(SQLite3_INCLUDE_DIR ${BRIMVOLT_WINCHECK_INCLUDE} CACHE PATH "" FORCE)
    set(SQLite3_LIBRARY ${BRIMVOLT_HOST_sqlite3} CACHE FILEPATH "" FORCE)
endif()
if(BRIMVOLT_HOST_mosquitto.h AND BRIMVOLT_HOST_mosquitto)
    add_library(brimvolt::mosquitto INTERFACE IMPORTED GLOBAL)
    target_include_directories(brimvolt::mosquitto INTERFACE ${BRIMVOLT_WINCHECK_INCLUDE})
    target_link_libraries(brimvolt::mosquitto INTERFACE ${BRIMVOLT_HOST_mosquitto})
endif()
if(BRIMVOLT_HOST_qrencode.h AND BRIMVOLT_HOST_qrencode)
    add_library(brimvolt::qrencode INTERFACE IMPORTED GLOBAL)
    target_include_directories(brimvolt::qrencode INTERFACE ${BRIMVOLT_WINCHECK_INCLUDE})
    target_link_libraries(brimvolt::qrencode INTERFACE ${BRIMVOLT_HOST_qrencode})
endif()

# Qt's own zlib, which serves .bdf.gz on Windows, is no target of the host's Qt: the host's
# zlib headers (plain C for every platform) stand in under the name Qt gives them.
foreach(header zlib.h zconf.h)
    find_file(BRIMVOLT_HOST_${header} ${header} PATHS /usr/include /usr/include/x86_64-linux-gnu
              NO_DEFAULT_PATH)
    if(BRIMVOLT_HOST_${header})
        file(COPY ${BRIMVOLT_HOST_${header}} DESTINATION ${BRIMVOLT_WINCHECK_INCLUDE}/QtZlib)
    endif()
endforeach()
if(BRIMVOLT_HOST_zlib.h AND BRIMVOLT_HOST_zconf.h)
    add_library(Qt6::ZlibPrivate INTERFACE IMPORTED GLOBAL)
    target_include_directories(Qt6::ZlibPrivate INTERFACE ${BRIMVOLT_WINCHECK_INCLUDE})
endif()

function(brimvolt_wincheck_directory dir)
    get_property(imported DIRECTORY ${dir} PROPERTY IMPORTED_TARGETS)
    foreach(target IN LISTS imported)
        get_target_property(type ${target} TYPE)
        if(type STREQUAL "SHARED_LIBRARY")
            # Dependency scans want an existing file: the host library stands in.
            get_target_property(configurations ${target} IMPORTED_CONFIGURATIONS)
            foreach(configuration IN LISTS configurations)
                get_target_property(location ${target} IMPORTED_LOCATION_${configuration})
                set_property(TARGET ${target} PROPERTY IMPORTED_IMPLIB_${configuration} ${location})
            endforeach()
            get_target_property(location ${target} IMPORTED_LOCATION)
            if(location)
                set_property(TARGET ${target} PROPERTY IMPORTED_IMPLIB ${location})
            endif()
        endif()
    endforeach()

    get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target IN LISTS targets)
        get_target_property(type ${target} TYPE)
        if(type MATCHES "^(EXECUTABLE|STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY)$")
            # Every source starts with the guard, which fails unless Qt's headers took their
            # Windows branches: a check that never reached them would prove nothing.
            set_property(TARGET ${target} APPEND PROPERTY COMPILE_OPTIONS
                         "$<$<COMPILE_LANGUAGE:CXX>:-fsyntax-only>"
                         "$<$<COMPILE_LANGUAGE:CXX>:SHELL:-include ${BRIMVOLT_WINCHECK_GUARD}>")
        endif()
    endforeach()

    get_property(subdirectories DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    foreach(subdirectory IN LISTS subdirectories)
        brimvolt_wincheck_directory(${subdirectory})
    endforeach()
endfunction()

# Once every target and every imported Qt target is known.
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL brimvolt_wincheck_directory
               ${CMAKE_SOURCE_DIR})
