# The Debian package, made by `cpack` (scripts/package.sh) from what
# `cmake --install` installs: build/packages/empty-folder-remover_1.00-1_amd64.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME empty-folder-remover)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT "info@example.org")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "find and delete empty folders")
# The long description, line by line as the package shows it.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "A small desktop utility that finds and removes empty folders. Pick a\n"
       "drive and a main folder; it finds every folder beneath it that holds no\n"
       "files of its own and whose whole tree totals zero bytes, lists them\n"
       "parent first, lets you mark the ones to go, and deletes them, writing\n"
       "each to an on-screen log.\n"
       "It never deletes data: anything of non-zero size, a symbolic link, a\n"
       "fifo, a socket, a device or another mounted file system keeps every\n"
       "folder above it off the list.")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Empty Folder Remover maintainers <info@example.org>")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.example.org/")
# The libraries the program links come from dpkg-shlibdeps; Qt loads its
# platform plugins at run time, which no link names, and the window is drawn
# in Liberation Sans.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-liberation2")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
include(CPack)
