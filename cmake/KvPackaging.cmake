# Korvalen as a desktop program: what `cmake --install` puts beside the programs (desktop
# entry, icons, AppStream data, man pages, documentation) and the Debian package cpack makes.
include(GNUInstallDirs)
set(kv_docdir ${CMAKE_INSTALL_DATADIR}/doc/korvalen)  # Debian: /usr/share/doc/<package>

set(KV_APP_ID io.github.korvalen.Korvalen)
set(kv_data ${PROJECT_SOURCE_DIR}/data)
set(kv_gen ${PROJECT_BINARY_DIR}/packaging)

install(FILES ${kv_data}/${KV_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${kv_data}/${KV_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${kv_data}/korvalen.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${kv_data}/readme.txt DESTINATION ${kv_docdir})

# PNG sizes of the icon, drawn by the program's own icon code; man pages and the changelog
# compressed as Debian wants them.
set(kv_icon_sizes 16 22 24 32 48 64 128 256)
set(kv_generated)
if(TARGET kv_icon_render)
  foreach(size ${kv_icon_sizes})
    set(png ${kv_gen}/icons/${size}x${size}/korvalen.png)
    add_custom_command(OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${kv_gen}/icons/${size}x${size}
      COMMAND $<TARGET_FILE:kv_icon_render> ${size} ${png}
      DEPENDS kv_icon_render VERBATIM)
    list(APPEND kv_generated ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()
endif()
find_program(KV_GZIP gzip REQUIRED)
foreach(page kv.1 kvarc.1 kv_setup.1)
  add_custom_command(OUTPUT ${kv_gen}/${page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${kv_gen}
    COMMAND ${KV_GZIP} -9nc ${kv_data}/${page} > ${kv_gen}/${page}.gz
    DEPENDS ${kv_data}/${page})
  list(APPEND kv_generated ${kv_gen}/${page}.gz)
  install(FILES ${kv_gen}/${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
add_custom_command(OUTPUT ${kv_gen}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${kv_gen}
  COMMAND ${KV_GZIP} -9nc ${kv_data}/changelog > ${kv_gen}/changelog.gz
  DEPENDS ${kv_data}/changelog)
list(APPEND kv_generated ${kv_gen}/changelog.gz)
install(FILES ${kv_gen}/changelog.gz ${kv_data}/copyright DESTINATION ${kv_docdir})
# Built with the programs, so `cmake --install` after a plain build finds them.
add_custom_target(kv_package_files ALL DEPENDS ${kv_generated})

# cpack -G DEB: one package, its library dependencies found by dpkg-shlibdeps; what is
# loaded at run time rather than linked (the Qt platform plug-ins, the fonts the old
# interface fonts map onto, xdg-open) is named by hand.
set(CPACK_PACKAGE_NAME korvalen)
set(CPACK_PACKAGE_VENDOR "The Korvalen developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "two-panel file manager with archive support")
set(CPACK_PACKAGE_DESCRIPTION "Korvalen is a two-panel file manager for the desktop. Two folder panels
stand side by side; the function keys view, edit, copy, move and delete, and
a command line runs programs. ZIP, ARJ, LHA, RAR, ARC and other archives open
like folders and are extracted; ZIP archives are made and updated, also with
the kvarc command line. It also shows pictures, edits text and has a few small
tools and games.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Korvalen developers <maintainers@users.noreply.c-seed-76f45f35.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-dejavu-core, fonts-liberation2, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
