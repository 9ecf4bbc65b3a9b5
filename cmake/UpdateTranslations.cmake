# Brings .ts files up to date with the texts in the sources: cmake -DLUPDATE=<lupdate>
# -DSOURCE_DIR=<project> -DTS_FILES=<file>[;<file>...] [-DDROP_VANISHED=ON] -P UpdateTranslations.cmake
# The texts are written in Russian inside tr(), QCoreApplication::translate() and
# QT_TRANSLATE_NOOP(). Without locations the files change only when a text does.
if(NOT LUPDATE OR NOT SOURCE_DIR OR NOT TS_FILES)
    message(FATAL_ERROR "UpdateTranslations.cmake needs LUPDATE, SOURCE_DIR and TS_FILES")
endif()
set(options -silent -locations none -source-language ru -extensions cpp,h)
if(DROP_VANISHED)
    list(APPEND options -no-obsolete)
endif()
foreach(ts ${TS_FILES})
    get_filename_component(stem ${ts} NAME_WE)
    string(REGEX REPLACE "^.*_" "" language ${stem})
    execute_process(
        COMMAND ${LUPDATE} ${options} -target-language ${language}
                ${SOURCE_DIR}/src ${SOURCE_DIR}/tools -ts ${ts}
        RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "lupdate failed on ${ts}")
    endif()
endforeach()
