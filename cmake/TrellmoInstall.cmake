# Where `cmake --install` puts the program, following the freedesktop conventions: the binary,
# its menu entry, its AppStream description and its icon in the hicolor theme, all under one
# application id. The Debian package is built from the same rules (TrellmoPackage.cmake).
include(GNUInstallDirs)

set(TRELLMO_APP_ID org.trellmo.Trellmo)
set(TRELLMO_ICON_SIZES 16 22 24 32 48 64 128 256)
set(res ${PROJECT_SOURCE_DIR}/src/res)
set(icons ${PROJECT_BINARY_DIR}/icons)

set(rendered)
foreach(size IN LISTS TRELLMO_ICON_SIZES)
  list(APPEND rendered ${icons}/${size}x${size}.png)
endforeach()
add_custom_command(
  OUTPUT ${rendered}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${icons}
  COMMAND trellmo-iconrender ${res}/trellmo.svg ${icons} ${TRELLMO_ICON_SIZES}
  DEPENDS trellmo-iconrender ${res}/trellmo.svg
  COMMENT "Rendering the application icon sizes"
  VERBATIM)
add_custom_target(trellmo_icons ALL DEPENDS ${rendered})
# Whatever builds the program also renders the icons it installs with.
add_dependencies(trellmo trellmo_icons)

install(TARGETS trellmo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${res}/${TRELLMO_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${res}/${TRELLMO_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${res}/trellmo.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${TRELLMO_APP_ID}.svg)
foreach(size IN LISTS TRELLMO_ICON_SIZES)
  install(FILES ${icons}/${size}x${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME ${TRELLMO_APP_ID}.png)
endforeach()
