# Install rules and the Debian package. Only the two programs and their documents are installed, never
# the tests, benchmarks or fuzz targets. scripts/package.sh builds the package; everything goes under
# /usr (CPack's prefix for DEB), nothing into /etc or /var.
include(GNUInstallDirs)

set(rmz_app_id org.rmz47tool.ServiceTool)
set(rmz_pkg_src ${PROJECT_SOURCE_DIR}/packaging)
set(rmz_pkg_out ${PROJECT_BINARY_DIR}/packaging)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# Package fields, also written into the metainfo, the changelog and the manual pages.
set(CPACK_PACKAGE_NAME rmz47)
set(CPACK_PACKAGE_VERSION ${RMZ47_VERSION})
set(CPACK_PACKAGE_VENDOR "RMZ-47 service tool authors")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "RMZ-47 service tool maintainers <maintainers@rmz47-tool.example.org>")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://rmz47-tool.example.org/")
set(CPACK_DEBIAN_PACKAGE_VERSION ${RMZ47_VERSION})
# A Debian revision of its own: the package is built from the upstream tree, so its changelog is
# changelog.Debian.gz.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)

# The documents' date is the commit's (SOURCE_DATE_EPOCH, when set, wins): two builds of one commit give
# the same files. string(TIMESTAMP) reads SOURCE_DATE_EPOCH.
if(RMZ47_SOURCE_EPOCH AND "$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
    set(ENV{SOURCE_DATE_EPOCH} ${RMZ47_SOURCE_EPOCH})
endif()
# cpack runs later in a process of its own, where the configure's environment is gone: this file, which
# cpack reads at its start, gives it the same time. With SOURCE_DATE_EPOCH cpack writes that time for every
# member of the archive (no file's own time reaches the package) and into the ar headers.
if(NOT "$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
    set(CPACK_PROJECT_CONFIG_FILE ${rmz_pkg_out}/CPackSourceDate.cmake)
    file(CONFIGURE OUTPUT ${CPACK_PROJECT_CONFIG_FILE} CONTENT "set(ENV{SOURCE_DATE_EPOCH} $ENV{SOURCE_DATE_EPOCH})\n")
endif()
string(TIMESTAMP RMZ47_RELEASE_DATE "%Y-%m-%d" UTC)
string(TIMESTAMP RMZ47_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)

configure_file(${rmz_pkg_src}/${rmz_app_id}.metainfo.xml.in ${rmz_pkg_out}/${rmz_app_id}.metainfo.xml @ONLY)
set(rmz_gz_sources)
foreach(doc rmz47.1 rmz47-sim.1 changelog.Debian)
    configure_file(${rmz_pkg_src}/${doc}.in ${rmz_pkg_out}/${doc} @ONLY)
    list(APPEND rmz_gz_sources ${rmz_pkg_out}/${doc})
endforeach()
list(APPEND rmz_gz_sources ${PROJECT_SOURCE_DIR}/README.md)

# Compressed as Debian wants them; -n leaves the name and time stamp out of the gzip header.
set(rmz_pkg_files)
foreach(src IN LISTS rmz_gz_sources)
    get_filename_component(name ${src} NAME)
    add_custom_command(OUTPUT ${rmz_pkg_out}/${name}.gz
                       COMMAND sh -c "gzip -9n -c \"$1\" > \"$2\"" sh ${src} ${rmz_pkg_out}/${name}.gz
                       DEPENDS ${src} VERBATIM)
    list(APPEND rmz_pkg_files ${rmz_pkg_out}/${name}.gz)
endforeach()

# The icon is drawn as SVG; the fixed sizes that menus without SVG support use are rendered from it.
set(rmz_icon_sizes 16 24 32 48 64 128 256)
if(RMZ_PACKAGE)
    find_program(RSVG_CONVERT rsvg-convert REQUIRED)
else()
    find_program(RSVG_CONVERT rsvg-convert)
endif()
if(RSVG_CONVERT)
    foreach(size IN LISTS rmz_icon_sizes)
        set(png ${rmz_pkg_out}/icons/${size}/${rmz_app_id}.png)
        file(MAKE_DIRECTORY ${rmz_pkg_out}/icons/${size})
        add_custom_command(OUTPUT ${png}
                           COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${rmz_pkg_src}/${rmz_app_id}.svg
                           DEPENDS ${rmz_pkg_src}/${rmz_app_id}.svg VERBATIM)
        list(APPEND rmz_pkg_files ${png})
        install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
    endforeach()
else()
    message(STATUS "rsvg-convert not found: the PNG icons are left out (scripts/deps.sh --packaging)")
endif()
add_custom_target(rmz_package_files ALL DEPENDS ${rmz_pkg_files})

install(TARGETS rmz47 rmz47-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${rmz_pkg_src}/${rmz_app_id}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${rmz_pkg_out}/${rmz_app_id}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${rmz_pkg_src}/${rmz_app_id}.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${rmz_pkg_out}/rmz47.1.gz ${rmz_pkg_out}/rmz47-sim.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${rmz_pkg_src}/rmz47.bash-completion DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME rmz47)
install(FILES ${rmz_pkg_out}/README.md.gz ${rmz_pkg_out}/changelog.Debian.gz ${rmz_pkg_src}/copyright
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Libraries from what the programs link (dpkg-shlibdeps); the platform plugins are loaded, not linked,
# and without them every Qt program aborts at start. Qt's Russian translation is read at start too.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "service tool for the RMZ-47 power controller")
set(CPACK_PACKAGE_DESCRIPTION
    "Configures the RMZ-47 power controller over a serial line (RS-232, or a
two-wire line switched by RTS): reads its state and configuration, edits the
configuration with a wizard for the gas volume per pulse and writes it back.
It also imitates the gas flow computers the controller polls, so that the
controller's pulse output can be checked on the bench. The window's texts
are Russian.

The package also holds rmz47-sim, a virtual controller on a pseudo-terminal
for trying the tool without hardware.

Serial ports belong to the group dialout: add the user to it to open them.")
include(CPack)
