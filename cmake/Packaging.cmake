# Installation and the Debian package (make package).

include(GNUInstallDirs)

set(programs brimvolt brimvolt-curve brimvolt-journal)
if(TARGET brimvolt-sim)
    list(APPEND programs brimvolt-sim)
endif()
install(TARGETS ${programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/packaging/brimvolt.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
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
set(CPACK_PACKAGE_CONTACT "Brimvolt maintainers <brimvolt@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Battery capacity meter for a serial-port battery tester module")
set(CPACK_PACKAGE_DESCRIPTION
    "Finds the tester module on a serial port, shows its readings and parameters, runs\n"
    "discharges and charges, and records, plots, saves and loads their voltage curves.\n"
    "Includes brimvolt-sim, a module simulator on a pseudo-terminal, brimvolt-curve,\n"
    "a command-line tool for curve files, and brimvolt-journal, the run journal from the\n"
    "command line.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_STRIP_FILES ON)
# What no library scan finds: the xcb platform plugin, without which a Qt window cannot open on
# X11, the metric twins of Arial and Courier New the layouts are measured in, D-Bus for the
# sleep inhibition, and Qt's own texts (dialogs, standard buttons) in Russian.
set(runtime_extras "qt6-qpa-plugins, fonts-liberation, libqt6dbus6 (>= 6.4), qt6-translations-l10n")
# dpkg-shlibdeps, where at hand, gives the libraries with the versions the build linked against;
# otherwise they are listed by hand.
find_program(BRIMVOLT_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(BRIMVOLT_DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "${runtime_extras}")
else()
    set(CPACK_DEBIAN_PACKAGE_DEPENDS
        "libc6 (>= 2.34), libstdc++6 (>= 11), libgcc-s1, libqt6core6 (>= 6.4), libqt6gui6 (>= 6.4), libqt6widgets6 (>= 6.4), libqt6serialport6 (>= 6.4), libqt6svg6 (>= 6.4), libsqlite3-0 (>= 3.37), ${runtime_extras}")
    if(TARGET brimvolt_mqtt)
        string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libmosquitto1")
    endif()
endif()
include(CPack)
