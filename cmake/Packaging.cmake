# The Debian package, made by CPack from the install rules of packaging/:
#   cmake --build build && (cd build && cpack -G DEB)
# Depends comes from the programs' shared libraries (dpkg-shlibdeps), plus what they load
# at run time that no library names: Qt's platform plugins. The local service's parts run
# as separate programs, so they are recommended: a user without them still has the client
# for a server of their own.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lumora)
set(CPACK_PACKAGE_VENDOR "The Lumora developers")
set(CPACK_PACKAGE_CONTACT "The Lumora developers <team@lumora.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "location-aware XMPP messenger with an offline map")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "ejabberd, openssl, python3, gdal-bin, python3-gdal, python3-mapnik, gmt, gmt-dcw, gmt-gshhg-low, marble-qt-data, fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "gpsd")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The extended description (the synopsis is CPACK_PACKAGE_DESCRIPTION_SUMMARY).
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Lumora is an instant-messaging client for XMPP that shows where your contacts
are. Sign in with your numeric id, keep a contact list, chat, and follow your
contacts on a zoomable street or satellite map that is kept on disk, so it also
works offline. Your own position comes from a GPS receiver (through gpsd or a
serial port) and is shared as you choose.
.
Without a server of your own, Lumora starts a private service for you on
127.0.0.1: an XMPP server (ejabberd), a search bot, a demo contact and a tile
server with an offline world map made from Debian's map data.")
include(CPack)
