# The Debian package (scripts/package.sh): every program under /usr/bin, the desktop
# entries and icons, the sample setup files under /usr/share/vexa/setup. The installed
# programs find that folder beside their own bin folder, so /usr/share/vexa is also the
# folder vexa-server serves when it is given no --root.

install(FILES
  ${VEXA_RESOURCE_DIR}/setup/setup.log ${VEXA_RESOURCE_DIR}/setup/setup_en.log
  ${VEXA_RESOURCE_DIR}/setup/setup_modbus.log ${VEXA_RESOURCE_DIR}/setup/setup_modbus_en.log
  ${VEXA_RESOURCE_DIR}/setup/setup_pwm.log ${VEXA_RESOURCE_DIR}/setup/setup_pwm_en.log
  DESTINATION ${CMAKE_INSTALL_DATADIR}/vexa/setup)

foreach(tool vexa-sim vexa-server)
  if(TARGET ${tool})
    install(TARGETS ${tool} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

# The self-updater, once it is built.
if(TARGET VexaUpdate)
  install(TARGETS VexaUpdate RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${VEXA_RESOURCE_DIR}/vexa-update.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vexa)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Vexa")
set(CPACK_PACKAGE_CONTACT "Vexa developers <vexa@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Set up, test and reprogram serial-bus servos")
set(CPACK_PACKAGE_DESCRIPTION
    "Vexa finds every servo on a serial bus (servo instruction protocol and Modbus RTU),
drives it and watches its feedback, edits its memory table, saves and loads parameter
sets, measures the line and upgrades firmware. With vexa-cli (the bus from a shell),
vexa-sim (a simulated bus on a pseudo-terminal) and vexa-server (the update server).")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Chinese texts need a CJK font.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-microhei")
include(CPack)
