# Checks that the conduit module reaches the Sync Manager, the HotSync log and the action dialog
# through libtervano_synckit.so (undefined in the module, defined in the kit, a NEEDED library),
# so that the handheld and log the sync host attaches are the ones the conduit uses.
#   cmake -DNM=<nm> -DREADELF=<readelf> -DMODULE=<tervano2.so> -DKIT=<libtervano_synckit.so> -P CheckSharedKit.cmake
set(symbols _Z10SyncOpenDBPKciRhh _Z11LogAddEntryPKcii _Z19SyncRegisterConduitRj _ZN17CHotSyncActionDlg7DoModalEv)
execute_process(COMMAND ${NM} -D --undefined-only ${MODULE} OUTPUT_VARIABLE undefined RESULT_VARIABLE rc1)
execute_process(COMMAND ${NM} -D --defined-only ${KIT} OUTPUT_VARIABLE defined RESULT_VARIABLE rc2)
execute_process(COMMAND ${READELF} -d ${MODULE} OUTPUT_VARIABLE dynamic RESULT_VARIABLE rc3)
if(NOT rc1 EQUAL 0 OR NOT rc2 EQUAL 0 OR NOT rc3 EQUAL 0)
  message(FATAL_ERROR "nm or readelf failed on ${MODULE} or ${KIT}")
endif()
foreach(symbol IN LISTS symbols)
  if(NOT undefined MATCHES " U ${symbol}\n")
    message(FATAL_ERROR "${MODULE} does not leave ${symbol} to the sync host's kit (a private copy?)")
  endif()
  if(NOT defined MATCHES " T ${symbol}\n")
    message(FATAL_ERROR "${KIT} does not define ${symbol}")
  endif()
endforeach()
if(NOT dynamic MATCHES "NEEDED[^\n]*libtervano_synckit\\.so")
  message(FATAL_ERROR "${MODULE} does not name libtervano_synckit.so as a needed library")
endif()
message(STATUS "the module leaves the Sync Manager, log and dialog to ${KIT}")
