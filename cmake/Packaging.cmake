# Desktop integration (menu entry, icons, AppStream metadata) and the Debian package.
#
# The program and its data install under the install prefix (bin/, "Common Files/"); start-up
# finds the data through a folder named Velmora in the executable's path, so the package uses the
# prefix /opt/Velmora (scripts/package.sh). The desktop files must sit where desktops look for them: under
# CALVENOR_DESKTOP_PREFIX, by default the install prefix itself; scripts/package.sh sets /usr for
# the package, which then also links /usr/bin/calvenor to the program.

set(CALVENOR_DESKTOP_PREFIX "" CACHE PATH
    "Where the desktop entry, icons and metadata go (share/ below it); empty: the install prefix")
set(CALVENOR_APP_ID com.velmora.calvenor)

if(CALVENOR_DESKTOP_PREFIX)
    set(desktop_share "${CALVENOR_DESKTOP_PREFIX}/share")
else()
    set(desktop_share "${CMAKE_INSTALL_DATAROOTDIR}")
endif()

set(packaging ${PROJECT_SOURCE_DIR}/packaging)
install(FILES ${packaging}/${CALVENOR_APP_ID}.desktop DESTINATION "${desktop_share}/applications")
install(FILES ${packaging}/${CALVENOR_APP_ID}.metainfo.xml DESTINATION "${desktop_share}/metainfo")
install(FILES ${packaging}/calvenor.svg DESTINATION "${desktop_share}/icons/hicolor/scalable/apps"
        RENAME ${CALVENOR_APP_ID}.svg)

# The usual bitmap sizes, rendered from the SVG when rsvg-convert (librsvg2-bin) is there; the
# package build insists on them.
find_program(RSVG_CONVERT rsvg-convert)
option(CALVENOR_REQUIRE_ICONS "Stop the configuration when the bitmap icons cannot be rendered" OFF)
if(NOT RSVG_CONVERT AND CALVENOR_REQUIRE_ICONS)
    message(FATAL_ERROR "rsvg-convert (Debian package librsvg2-bin) is needed for the icons")
endif()
if(RSVG_CONVERT)
    set(icons)
    foreach(size 16 22 24 32 48 64 128 256)
        set(png ${PROJECT_BINARY_DIR}/icons/${size}/${CALVENOR_APP_ID}.png)
        add_custom_command(
            OUTPUT ${png}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/icons/${size}
            COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${packaging}/calvenor.svg
            DEPENDS ${packaging}/calvenor.svg
            COMMENT "Rendering the ${size}x${size} icon")
        list(APPEND icons ${png})
        install(FILES ${png} DESTINATION "${desktop_share}/icons/hicolor/${size}x${size}/apps")
    endforeach()
    add_custom_target(calvenor_icons ALL DEPENDS ${icons})
endif()

if(CALVENOR_DESKTOP_PREFIX)
    # The programs on the PATH: relative links from <desktop prefix>/bin to them.
    file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/path-link)
    foreach(program calvenor calvenor-relations)
        file(RELATIVE_PATH to_program "${CALVENOR_DESKTOP_PREFIX}/bin"
             "${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${program}")
        file(CREATE_LINK ${to_program} ${PROJECT_BINARY_DIR}/path-link/${program} SYMBOLIC)
        install(FILES ${PROJECT_BINARY_DIR}/path-link/${program}
                DESTINATION "${CALVENOR_DESKTOP_PREFIX}/bin")
    endforeach()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME calvenor)
set(CPACK_PACKAGE_VENDOR Velmora)
set(CPACK_PACKAGE_CONTACT "Velmora <support@velmora.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "heat-exchanger effectiveness-NTU chart")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Calvenor draws the effectiveness-NTU chart of a heat exchanger in counter,\n\
cross or parallel flow, with curves for the capacity-rate ratios 0 to 1, and\n\
shows the Ntu, e and the required capacity-rate ratio under the pointer.")
# The package installs where this build installs; scripts/package.sh configures /opt/Velmora.
set(CPACK_PACKAGING_INSTALL_PREFIX "${CMAKE_INSTALL_PREFIX}")
string(TOUPPER "${CMAKE_INSTALL_PREFIX}" upper_prefix)
if(CALVENOR_DESKTOP_PREFIX AND NOT upper_prefix MATCHES "VELMORA|5VQ")
    message(WARNING "Installed under ${CMAKE_INSTALL_PREFIX}, the program will not find its data "
                    "file: the prefix needs a folder named Velmora (e.g. /opt/Velmora)")
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Beyond the libraries the program links: Qt's platform plugins (the X11 one among them) and the
# fonts the chart's and the form's font names resolve to.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-dejavu-core, fonts-liberation2")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${packaging}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
