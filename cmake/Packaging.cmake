# Installation of KESTRA as a desktop program (executable, desktop entry,
# icons, manual page, documentation) and its Debian package through CPack.
# Included once from the top-level CMakeLists.txt after project().
include_guard(GLOBAL)
include(GNUInstallDirs)

set(KESTRA_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR}/../packaging)
cmake_path(NORMAL_PATH KESTRA_PACKAGING_DIR)

# Deferred to the end of the top-level directory, so that this file may be
# included before app/ has defined the kestra target. The Qt project setup
# gives every target an install RPATH of $ORIGIN/../lib; the program links
# only system libraries, so the installed binary carries none.
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL
    set_target_properties kestra PROPERTIES INSTALL_RPATH "")
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL
    install TARGETS kestra RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES ${KESTRA_PACKAGING_DIR}/kestra.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${KESTRA_PACKAGING_DIR}/kestra.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size IN ITEMS 16 32 48 64 128 256)
    install(FILES ${KESTRA_PACKAGING_DIR}/icons/${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME kestra.png)
endforeach()

# Debian wants the manual page and the changelog compressed, without a name
# or time stamp in the gzip header so that rebuilds give the same bytes.
set(compressed ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${compressed})
foreach(name IN ITEMS kestra.1 changelog)
    execute_process(COMMAND gzip -9nc ${KESTRA_PACKAGING_DIR}/${name}
                    OUTPUT_FILE ${compressed}/${name}.gz
                    COMMAND_ERROR_IS_FATAL ANY)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
                 ${KESTRA_PACKAGING_DIR}/${name})
endforeach()
install(FILES ${compressed}/kestra.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${compressed}/changelog.gz ${KESTRA_PACKAGING_DIR}/copyright
              ${CMAKE_SOURCE_DIR}/README.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestra)
# Must match the version in the window title, which scripts/package-test checks.
set(CPACK_PACKAGE_VERSION 2.04)
set(CPACK_PACKAGE_VENDOR "The KESTRA developers")
set(CPACK_PACKAGE_CONTACT "KESTRA maintainers <kestra@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "measure grapevine leaves from scanned pictures")
# Lines of at most 80 characters, as Debian asks of the long description.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
    "KESTRA is a desktop program for ampelometry. The user opens a scanned leaf"
    "picture (BMP or JPEG), types the scan resolution and clicks up to 32"
    "numbered landmarks on the leaf. Each analysis adds a row with the leaf"
    "surface, the OIV lengths and angles, further distances and the landmark"
    "positions to a results table, which is saved as tab-separated text.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries come from the built binary; the platform plugin that Qt loads
# at run time (xcb, wayland) is no link dependency, so it is named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-qpa-plugins)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
