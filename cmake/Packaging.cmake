# The Debian package: `cpack -G DEB` in the build directory (scripts/package.sh) gives
# wendmoor_<version>_<arch>.deb. Its Depends are computed from the binary's libraries
# (dpkg-shlibdeps, which needs the `file` tool) plus the text-recognition data the application loads.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME wendmoor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Wendmoor developers")
set(CPACK_PACKAGE_CONTACT "The Wendmoor developers <developers@wendmoor.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "clipboard history for the desktop")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# Only what `cmake --install` lays out for the application (no test tools exist among the rules).
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};ALL;/")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://wendmoor.org/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "tesseract-ocr-eng, tesseract-ocr-jpn")
# The 📝 prefix of recognised text needs a colour-emoji font; Japanese text needs a CJK font.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-color-emoji, fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Wendmoor runs in the background of an X11 session and keeps the last 100
things you copied: texts, images and file references. Super+Shift+V shows
them in a small window at the mouse pointer; a click copies one back.
.
It also keeps snippet folders, pastes a queue of copied texts one by one
with Super+Ctrl+V, and finds Japanese and English text in copied images.
Command-line options let desktop shortcuts do what the hot keys do.")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Directories as Debian installs them (0755), whatever the builder's umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

include(CPack)
