# Installation (cmake --install) and the Debian package (cpack). The program and its files go to
# <prefix>/lib/tavisto-for-web/; <prefix>/bin/tavisto-for-web links to it.
set(TVC_INSTALL_APPDIR lib/tavisto-for-web)
set(TVC_WINDOW_CLASS CEFCLIENT)
set(TVC_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(TVC_DOC_DIR share/doc/tavisto-for-web)

install(TARGETS TavistoForWeb RUNTIME DESTINATION ${TVC_INSTALL_APPDIR})
# WebKit loads the extension, and the program its engine module; nothing executes them.
install(TARGETS TavistoWebExtension TavistoEngine LIBRARY DESTINATION ${TVC_INSTALL_APPDIR}
        PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
# The start page, and the tray's icon, which the tray host reads from a file.
install(FILES ${PROJECT_SOURCE_DIR}/resources/cef_js_app.html
              ${PROJECT_SOURCE_DIR}/resources/tavisto-for-web.png
        DESTINATION ${TVC_INSTALL_APPDIR})

foreach(size 16 22 24 32 48 64 128 256)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/tavisto-for-web-${size}.png
          DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME tavisto-for-web.png)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/tavisto-for-web.svg
        DESTINATION share/icons/hicolor/scalable/apps)

# With every catalogue's texts (po/CMakeLists.txt).
install(FILES ${TVC_TRANSLATED_METAINFO} DESTINATION share/metainfo
        RENAME example.tavisto.TavistoForWeb.metainfo.xml)
foreach(lang ${TVC_LINGUAS})
  install(FILES ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/locale/${lang}/LC_MESSAGES/tavisto-for-web.mo
          DESTINATION share/locale/${lang}/LC_MESSAGES)
endforeach()

# Debian wants the copyright and a changelog compressed without a time stamp.
configure_file(${TVC_PACKAGING_DIR}/changelog.in ${CMAKE_BINARY_DIR}/packaging/changelog @ONLY)
find_program(TVC_GZIP gzip REQUIRED)
execute_process(COMMAND ${TVC_GZIP} -9nf ${CMAKE_BINARY_DIR}/packaging/changelog COMMAND_ERROR_IS_FATAL ANY)
install(FILES ${TVC_PACKAGING_DIR}/copyright ${CMAKE_BINARY_DIR}/packaging/changelog.gz
        DESTINATION ${TVC_DOC_DIR})

configure_file(${TVC_PACKAGING_DIR}/tavisto-for-web.1 ${CMAKE_BINARY_DIR}/packaging/tavisto-for-web.1
               COPYONLY)
execute_process(COMMAND ${TVC_GZIP} -9nf ${CMAKE_BINARY_DIR}/packaging/tavisto-for-web.1
                COMMAND_ERROR_IS_FATAL ANY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/tavisto-for-web.1.gz DESTINATION share/man/man1)

configure_file(${TVC_PACKAGING_DIR}/install-time.cmake.in
               ${CMAKE_BINARY_DIR}/packaging/install-time.cmake @ONLY)
install(SCRIPT ${CMAKE_BINARY_DIR}/packaging/install-time.cmake)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${TVC_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Corvane Media")
set(CPACK_PACKAGE_CONTACT "Corvane Media <support@tavisto.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Tavisto web application in a desktop window")
set(CPACK_PACKAGE_DESCRIPTION
    "Tavisto for Web shows the Tavisto web application in a window of its own\n"
    "and keeps running in the tray when the window is closed. A WebSocket server\n"
    "on the loopback address lets the companion browser extension talk to it.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.tavisto.example")
# Dependencies as dpkg-shlibdeps reads them from the binaries, and what they load at run time:
# the WebSocket library's GLib event loop is a plug-in that no binary links.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libwebsockets-evlib-glib")
# Updates are installed through the system's package service; without it the program offers the
# desktop's package installer instead.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "packagekit")
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_STRIP_FILES ON)
# Always /usr inside the package, whatever prefix this build tree installs to.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
