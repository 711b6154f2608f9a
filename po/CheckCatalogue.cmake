# Compiles one catalogue, refusing one that lacks a text of the template (missing, empty or fuzzy)
# or whose format strings do not match their originals.
# cmake -DMSGCMP=... -DMSGFMT=... -DPO=xx.po -DPOT=template.pot -DMO=out.mo -P CheckCatalogue.cmake
execute_process(COMMAND ${MSGCMP} ${PO} ${POT} RESULT_VARIABLE missing ERROR_VARIABLE why)
if(NOT missing EQUAL 0)
  message(FATAL_ERROR "${PO} does not translate every text of the template:\n${why}")
endif()
execute_process(COMMAND ${MSGFMT} --check --output-file=${MO} ${PO} RESULT_VARIABLE broken
                ERROR_VARIABLE why)
if(NOT broken EQUAL 0)
  message(FATAL_ERROR "${PO} does not compile:\n${why}")
endif()
