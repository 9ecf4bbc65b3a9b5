# Installation and the Debian package (make package).

include(GNUInstallDirs)

set(programs brimvolt brimvolt-curve brimvolt-journal)
if(TARGET brimvolt-sim)
    list(APPEND programs brimvolt-sim)
endif()
install(TARGETS ${programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The desktop entry and the AppStream metainfo carry the application's id in their names; the
# bench's entry starts the same program with --bench.
set(BRIMVOLT_APP_ID org.example.brimvolt)
set(BRIMVOLT_HOMEPAGE "https://brimvolt.example.org/")
install(FILES ${CMAKE_SOURCE_DIR}/packaging/${BRIMVOLT_APP_ID}.desktop
              ${CMAKE_SOURCE_DIR}/packaging/${BRIMVOLT_APP_ID}.bench.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

# The release the metainfo names, and the date of the manual pages, come from the top entry of
# packaging/changelog: a new version is one new entry there.
set(changelog ${CMAKE_SOURCE_DIR}/packaging/changelog)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${changelog})
file(STRINGS ${changelog} changelog_lines)
list(GET changelog_lines 0 changelog_top)
if(NOT changelog_top MATCHES "^brimvolt \\(([^) ]+)\\)")
    message(FATAL_ERROR "packaging/changelog: no version in its first line: ${changelog_top}")
endif()
set(BRIMVOLT_RELEASE_VERSION ${CMAKE_MATCH_1})
if(NOT BRIMVOLT_RELEASE_VERSION VERSION_EQUAL PROJECT_VERSION)
    message(WARNING "packaging/changelog's top entry is ${BRIMVOLT_RELEASE_VERSION}, the project "
                    "${PROJECT_VERSION}: add an entry for this version (make package refuses it)")
endif()
set(BRIMVOLT_RELEASE_DATE "")
foreach(line IN LISTS changelog_lines)
    if(line MATCHES "^ -- .*>  [A-Z][a-z][a-z], ([0-9][0-9]?) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
        set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
        list(FIND months ${CMAKE_MATCH_2} month)
        if(month LESS 0)
            break()
        endif()
        math(EXPR month "${month} + 1")
        math(EXPR day "${CMAKE_MATCH_1}")
        if(month LESS 10)
            set(month 0${month})
        endif()
        if(day LESS 10)
            set(day 0${day})
        endif()
        set(BRIMVOLT_RELEASE_DATE ${CMAKE_MATCH_3}-${month}-${day})
        break()
    endif()
endforeach()
if(NOT BRIMVOLT_RELEASE_DATE)
    message(FATAL_ERROR "packaging/changelog: the top entry has no trailer line with a date")
endif()

set(metainfo ${CMAKE_BINARY_DIR}/packaging/${BRIMVOLT_APP_ID}.metainfo.xml)
configure_file(${CMAKE_SOURCE_DIR}/packaging/${BRIMVOLT_APP_ID}.metainfo.xml.in ${metainfo} @ONLY)
install(FILES ${metainfo} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The documents Debian wants of every package: the copyright in its machine-readable form and the
# changelog compressed as dpkg does (gzip -9n: no name, no time, the same bytes every build).
set(docdir ${CMAKE_INSTALL_DATADIR}/doc/brimvolt)
find_program(BRIMVOLT_GZIP gzip)
if(BRIMVOLT_GZIP)
    add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/packaging/changelog.gz
        COMMAND ${CMAKE_COMMAND} -E copy ${changelog} ${CMAKE_BINARY_DIR}/packaging/changelog
        COMMAND ${BRIMVOLT_GZIP} -9nf ${CMAKE_BINARY_DIR}/packaging/changelog
        DEPENDS ${changelog}
        VERBATIM)
    add_custom_target(brimvolt-changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
    install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz DESTINATION ${docdir})
endif()
install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright DESTINATION ${docdir})
# A lintian tag that is right for this package goes in packaging/lintian-overrides with the reason
# in a comment above it; the package ships the file where lintian looks for it.
if(EXISTS ${CMAKE_SOURCE_DIR}/packaging/lintian-overrides)
    install(FILES ${CMAKE_SOURCE_DIR}/packaging/lintian-overrides
            DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME brimvolt)
endif()

# A manual page per program, made from its own --help by help2man with the sections --help does
# not hold (packaging/man/PROGRAM.h2m), so an option cannot be missing from its page. The
# programs run here, so a cross build has none.
find_program(BRIMVOLT_HELP2MAN help2man)
if(BRIMVOLT_HELP2MAN AND BRIMVOLT_GZIP AND NOT CMAKE_CROSSCOMPILING AND NOT WIN32)
    string(TIMESTAMP now_epoch "%s" UTC)
    execute_process(COMMAND date -u -d ${BRIMVOLT_RELEASE_DATE} +%s
        OUTPUT_VARIABLE release_epoch OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE date_status)
    if(NOT date_status EQUAL 0)
        set(release_epoch ${now_epoch})
    endif()
    set(pages "")
    foreach(program ${programs})
        set(include ${CMAKE_SOURCE_DIR}/packaging/man/${program}.h2m)
        set(page ${CMAKE_BINARY_DIR}/man/${program}.1)
        add_custom_command(OUTPUT ${page}.gz
            COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
            COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${release_epoch}
                    QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8
                    ${BRIMVOLT_HELP2MAN} --no-info --version-string=${PROJECT_VERSION}
                    --include=${include} --output=${page} $<TARGET_FILE:${program}>
            COMMAND ${BRIMVOLT_GZIP} -9nf ${page}
            DEPENDS ${program} ${include}
            COMMENT "Manual page of ${program}"
            VERBATIM)
        list(APPEND pages ${page}.gz)
    endforeach()
    add_custom_target(brimvolt-man ALL DEPENDS ${pages})
    install(FILES ${pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
elseif(NOT WIN32)
    message(WARNING "help2man or gzip not found: no manual pages (make deps installs them)")
endif()

# The curve files' types, which the desktop entry opens (dpkg's trigger updates the database).
install(FILES ${CMAKE_SOURCE_DIR}/packaging/brimvolt-mime.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME brimvolt.xml)
# The program's own 32-pixel icon, and the same picture enlarged for launchers that want more.
install(FILES ${CMAKE_SOURCE_DIR}/src/resources/brimvolt.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/brimvolt.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/128x128/apps)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME brimvolt)
set(CPACK_PACKAGE_VENDOR "Brimvolt")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Brimvolt maintainers <brimvolt@example.org>")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${BRIMVOLT_HOMEPAGE})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Battery capacity meter for a serial-port battery tester module")
# Debian wants the lines of the long description under 80 characters.
set(CPACK_PACKAGE_DESCRIPTION
    "Finds the tester module on a serial port, shows its readings and parameters,\n"
    "runs discharges and charges, and records, plots, saves and loads their voltage\n"
    "curves. Includes brimvolt-sim, a module simulator on a pseudo-terminal,\n"
    "brimvolt-curve, a command-line tool for curve files, and brimvolt-journal, the\n"
    "run journal from the command line.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_STRIP_FILES ON)
# Control files with the modes dpkg-deb itself would give them.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# What no library scan finds: the xcb platform plugin, without which a Qt window cannot open on
# X11, the metric twins of Arial and Courier New the layouts are measured in, and Qt's own texts
# (dialogs, standard buttons) in Russian.
set(runtime_extras "qt6-qpa-plugins, fonts-liberation, qt6-translations-l10n")
# dpkg-shlibdeps, where at hand, gives the libraries with the versions the build linked against
# (D-Bus for the sleep inhibition among them: naming it here as well listed it twice); otherwise
# they are listed by hand.
find_program(BRIMVOLT_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(BRIMVOLT_DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "${runtime_extras}")
else()
    set(CPACK_DEBIAN_PACKAGE_DEPENDS
        "libc6 (>= 2.34), libstdc++6 (>= 11), libgcc-s1, libqt6core6 (>= 6.4), libqt6gui6 (>= 6.4), libqt6widgets6 (>= 6.4), libqt6serialport6 (>= 6.4), libqt6svg6 (>= 6.4), libsqlite3-0 (>= 3.37), ${runtime_extras}")
    if(TARGET Qt6::DBus)
        string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libqt6dbus6 (>= 6.4)")
    endif()
    if(TARGET brimvolt_mqtt)
        string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libmosquitto1")
    endif()
endif()
include(CPack)
