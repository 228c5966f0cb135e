# Where an installation puts the program, and the Debian package made from it: the program and
# its companion in bin/, the desktop entry, the icon in the hicolor theme at the usual sizes,
# the AppStream metadata, the manual pages, and the package's copyright and changelog. An
# installed program keeps its data in the user's data folder, so nothing here is writable.
include(GNUInstallDirs)

set(VENDRIX_DESKTOP_ID org.vendrix.Agent)
set(VENDRIX_PACKAGING "${PROJECT_SOURCE_DIR}/packaging")
set(VENDRIX_DOCDIR "${CMAKE_INSTALL_DATAROOTDIR}/doc/vendrix")

# Manual pages and the changelog go compressed, as Debian wants them; -n keeps the archive
# free of the build's time, so that two builds give the same package.
find_program(GZIP_PROGRAM gzip REQUIRED)
function(vendrix_gzip source output)
    add_custom_command(OUTPUT "${output}"
        COMMAND "${GZIP_PROGRAM}" -9n -c "${source}" > "${output}"
        DEPENDS "${source}"
        COMMENT "Compressing ${source}")
endfunction()

set(VENDRIX_GZIPPED)
foreach(page vendrix.1 vendrix-cli.1)
    vendrix_gzip("${VENDRIX_PACKAGING}/${page}" "${PROJECT_BINARY_DIR}/packaging/${page}.gz")
    list(APPEND VENDRIX_GZIPPED "${PROJECT_BINARY_DIR}/packaging/${page}.gz")
endforeach()
vendrix_gzip("${VENDRIX_PACKAGING}/changelog" "${PROJECT_BINARY_DIR}/packaging/changelog.gz")
list(APPEND VENDRIX_GZIPPED "${PROJECT_BINARY_DIR}/packaging/changelog.gz")
file(MAKE_DIRECTORY "${PROJECT_BINARY_DIR}/packaging")
add_custom_target(vendrix_install_files ALL DEPENDS ${VENDRIX_GZIPPED})

install(TARGETS vendrix-cli RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
install(FILES "${PROJECT_BINARY_DIR}/packaging/vendrix-cli.1.gz"
    DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
install(FILES "${VENDRIX_PACKAGING}/copyright" "${PROJECT_BINARY_DIR}/packaging/changelog.gz"
    DESTINATION "${VENDRIX_DOCDIR}")

if(TARGET vendrix)
    install(TARGETS vendrix RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
    install(FILES "${PROJECT_BINARY_DIR}/packaging/vendrix.1.gz"
        DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
    install(FILES "${VENDRIX_PACKAGING}/${VENDRIX_DESKTOP_ID}.desktop"
        DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/applications")
    install(FILES "${VENDRIX_PACKAGING}/${VENDRIX_DESKTOP_ID}.metainfo.xml"
        DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/metainfo")
    # The icon files are drawn at build time by the same code that draws the window icon.
    install(DIRECTORY "${PROJECT_BINARY_DIR}/icons/hicolor"
        DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/icons")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vendrix)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "The Vendrix Agent team <dev@vendrix.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "order-taking program for a travelling sales agent")
# Lines of the description stay within 72 characters, for a terminal of 80.
set(CPACK_PACKAGE_DESCRIPTION
    "Vendrix Agent keeps the journal of a sales agent's orders (clients, trade\n"
    "points, goods with quantities and sums) and exchanges it with the office\n"
    "accounting system through an XML export and an import script, in a folder\n"
    "or on an FTP server. Its windows are in Russian. The package also holds\n"
    "vendrix-cli, which runs the exchange without windows.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries come from dpkg-shlibdeps. Qt loads its display plugins at run time, so no
# library reference names their package: the X11 one (XWayland's too) is in libqt6gui6, which
# the program links and so depends on (qt6-qpa-plugins holds only the VNC one); the Wayland one
# is qt6-wayland, recommended so that a Wayland desktop draws the windows itself, sharp at any
# scale, and a Wayland session without XWayland can show them at all.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
include(CPack)
