# Installs the filter into CUPS's filter directory and the PPDs into its model directory, where
# `lpadmin -m orn/<file>.ppd` finds them. Both folders keep CUPS's own layout below the install
# prefix: `cups-config --serverbin` and `--datadir` name them for CUPS's prefix (/usr on Debian,
# giving lib/cups and share/cups), so a prefix of /usr installs into the running CUPS, another
# prefix (also `cmake --install --prefix`) moves both, and DESTDIR stages the whole tree.
# ORN_CUPS_SERVERBIN_DIR and ORN_CUPS_DATA_DIR may be set to other folders, relative to the
# prefix or absolute.

# The folder below CUPS's prefix that cups-config names with the given flag, or the fallback.
function(orn_cups_folder flag fallback out)
  set(folder "${fallback}")
  find_program(ORN_CUPS_CONFIG cups-config)
  if(ORN_CUPS_CONFIG)
    execute_process(COMMAND "${ORN_CUPS_CONFIG}" ${flag} OUTPUT_VARIABLE path
                    OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status ERROR_QUIET)
    if(status EQUAL 0 AND path MATCHES "^/usr(/local)?/(.+)$")
      set(folder "${CMAKE_MATCH_2}")
    endif()
  endif()
  set(${out} "${folder}" PARENT_SCOPE)
endfunction()

orn_cups_folder(--serverbin lib/cups ORN_DEFAULT_SERVERBIN_DIR)
orn_cups_folder(--datadir share/cups ORN_DEFAULT_DATA_DIR)
set(ORN_CUPS_SERVERBIN_DIR "${ORN_DEFAULT_SERVERBIN_DIR}" CACHE STRING
    "CUPS server binary folder (filter/ lies below it), relative to the install prefix")
set(ORN_CUPS_DATA_DIR "${ORN_DEFAULT_DATA_DIR}" CACHE STRING
    "CUPS data folder (model/ lies below it), relative to the install prefix")

if(TARGET rastertoorn)
  # CUPS refuses to run a filter that group or others may write.
  install(TARGETS rastertoorn RUNTIME DESTINATION "${ORN_CUPS_SERVERBIN_DIR}/filter"
          PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                      WORLD_READ WORLD_EXECUTE)
endif()
file(GLOB ORN_MODEL_PPDS CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/models/*.ppd")
if(ORN_MODEL_PPDS)
  install(FILES ${ORN_MODEL_PPDS} DESTINATION "${ORN_CUPS_DATA_DIR}/model/orn"
          PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endif()
