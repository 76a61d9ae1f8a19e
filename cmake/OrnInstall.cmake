# Installs the filter into CUPS's filter directory and the PPDs into its model
# directory. Both follow the prefix (and DESTDIR) so a staged install works.
set(ORN_CUPS_SERVERBIN "${CMAKE_INSTALL_PREFIX}/lib/cups" CACHE PATH "CUPS server binary directory")
set(ORN_CUPS_DATADIR "${CMAKE_INSTALL_PREFIX}/share/cups" CACHE PATH "CUPS data directory")
if(TARGET rastertoorn)
  install(TARGETS rastertoorn RUNTIME DESTINATION "${ORN_CUPS_SERVERBIN}/filter")
endif()
file(GLOB ORN_MODEL_PPDS "${PROJECT_SOURCE_DIR}/models/*.ppd")
if(ORN_MODEL_PPDS)
  install(FILES ${ORN_MODEL_PPDS} DESTINATION "${ORN_CUPS_DATADIR}/model/orn")
endif()
