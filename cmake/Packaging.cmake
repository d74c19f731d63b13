# cpack -G DEB: a Debian package of what cmake --install installs. The libraries' packages are
# computed from the program (dpkg-shlibdeps); the fonts its windows are drawn in are named.
# scripts/kalendo.sh package builds it.

# What Debian asks of every package beside the program: the licence, the changelog and a manual
# page, compressed as dpkg compresses them (no timestamp, so the same build gives the same bytes).
# The default page is plain ASCII, so that it reads whole in any locale (in the C locale man
# drops what it cannot show); the Japanese one is shown where the language is Japanese.
set(KALENDO_PACKAGING_DIR ${CMAKE_BINARY_DIR}/packaging)
configure_file(${PROJECT_SOURCE_DIR}/docs/kalendo.1.in ${KALENDO_PACKAGING_DIR}/kalendo.1 @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/docs/kalendo.ja.1.in ${KALENDO_PACKAGING_DIR}/kalendo.ja.1
    @ONLY)
set(gzipped ${KALENDO_PACKAGING_DIR}/kalendo.1.gz ${KALENDO_PACKAGING_DIR}/kalendo.ja.1.gz
    ${KALENDO_PACKAGING_DIR}/changelog.gz)
add_custom_command(OUTPUT ${gzipped}
    COMMAND gzip -9n < ${KALENDO_PACKAGING_DIR}/kalendo.1 > ${KALENDO_PACKAGING_DIR}/kalendo.1.gz
    COMMAND gzip -9n < ${KALENDO_PACKAGING_DIR}/kalendo.ja.1 > ${KALENDO_PACKAGING_DIR}/kalendo.ja.1.gz
    COMMAND gzip -9n < ${PROJECT_SOURCE_DIR}/packaging/changelog > ${KALENDO_PACKAGING_DIR}/changelog.gz
    DEPENDS ${KALENDO_PACKAGING_DIR}/kalendo.1 ${KALENDO_PACKAGING_DIR}/kalendo.ja.1
        ${PROJECT_SOURCE_DIR}/packaging/changelog)
add_custom_target(kalendo_packaging ALL DEPENDS ${gzipped})
install(FILES ${KALENDO_PACKAGING_DIR}/kalendo.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${KALENDO_PACKAGING_DIR}/kalendo.ja.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/ja/man1
    RENAME kalendo.1.gz)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${KALENDO_PACKAGING_DIR}/changelog.gz
    DESTINATION ${KALENDO_DOC_DIR})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides
    DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME kalendo)

set(CPACK_PACKAGE_NAME kalendo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Vantree)
set(CPACK_PACKAGE_CONTACT "Vantree <kalendo@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "month calendar with Japan's public holidays")
# One line each, as Debian's tools show them (at most 80 characters).
set(CPACK_PACKAGE_DESCRIPTION [[
Kalendo shows one month in a small window, with Japan's public holidays,
events, anniversaries and a daily schedule, kept in code page 932 CSV files
in the user's own data folder. Its user interface is Japanese.]])
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-ipafont-gothic, fonts-ipafont-mincho, fonts-urw-base35, qt6-translations-l10n")
# The manual is opened through xdg-open; without it Kalendo says where the manual is.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS xdg-utils)
include(CPack)
