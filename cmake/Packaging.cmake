# cpack -G DEB: a Debian package of what cmake --install installs. The libraries' packages are
# computed from the program (dpkg-shlibdeps); the fonts its windows are drawn in are named.
set(CPACK_PACKAGE_NAME kalendo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Vantree)
set(CPACK_PACKAGE_CONTACT "Vantree <kalendo@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "month calendar with Japan's public holidays")
set(CPACK_PACKAGE_DESCRIPTION
    "Kalendo shows one month in a small window, with Japan's public holidays, events, anniversaries and a daily schedule, kept in code page 932 CSV files in the user's own data folder.")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://kalendo.example.org/")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-ipafont-gothic, fonts-ipafont-mincho, fonts-urw-base35, qt6-translations-l10n")
include(CPack)
