# The interface's translations: translations/brimvolt_<language>.ts, compiled by lrelease at build
# time and embedded under :/i18n. Debian's qt6-l10n-tools carries lupdate and lrelease but not
# Qt's LinguistTools CMake package, so the two tools are called directly.
set(BRIMVOLT_QT_BINS ${QT6_INSTALL_PREFIX}/${QT6_INSTALL_BINS} /usr/lib/qt6/bin)
find_program(BRIMVOLT_LRELEASE NAMES lrelease lrelease-qt6 HINTS ${BRIMVOLT_QT_BINS} REQUIRED)
find_program(BRIMVOLT_LUPDATE NAMES lupdate lupdate-qt6 HINTS ${BRIMVOLT_QT_BINS} REQUIRED)

set(BRIMVOLT_TS_FILES ${CMAKE_SOURCE_DIR}/translations/brimvolt_en.ts)

# Compiles the .ts files into .qm files and embeds them in target as :/i18n/<name>.qm.
function(brimvolt_add_translations target)
    set(qm_files)
    foreach(ts ${BRIMVOLT_TS_FILES})
        get_filename_component(stem ${ts} NAME_WE)
        set(qm ${CMAKE_CURRENT_BINARY_DIR}/i18n/${stem}.qm)
        add_custom_command(OUTPUT ${qm}
            COMMAND ${BRIMVOLT_LRELEASE} -silent -nounfinished ${ts} -qm ${qm}
            DEPENDS ${ts}
            COMMENT "Compiling ${stem}.ts")
        list(APPEND qm_files ${qm})
    endforeach()
    qt_add_resources(${target} brimvolt_translations PREFIX /i18n
        BASE ${CMAKE_CURRENT_BINARY_DIR}/i18n FILES ${qm_files})
endfunction()

# `make translations`: the .ts files brought up to date with the texts in the sources, entries
# whose text is gone dropped.
add_custom_target(translations
    COMMAND ${CMAKE_COMMAND} -DLUPDATE=${BRIMVOLT_LUPDATE} -DSOURCE_DIR=${CMAKE_SOURCE_DIR}
            -DDROP_VANISHED=ON "-DTS_FILES=${BRIMVOLT_TS_FILES}"
            -P ${CMAKE_SOURCE_DIR}/cmake/UpdateTranslations.cmake
    VERBATIM)
