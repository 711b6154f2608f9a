# The build's catalogue check (po/CheckCatalogue.cmake) passes the French catalogue as it is and
# refuses copies of it with a text missing, a text left empty and a broken format (its messages
# come wrapped, hence the patterns).
# cmake -DCHECK=... -DMSGCMP=... -DMSGFMT=... -DPO=po/fr.po -DPOT=... -DWORK=folder -P this file
file(MAKE_DIRECTORY ${WORK})
file(READ ${PO} catalogue)

function(expect_check name text expected)
  file(WRITE ${WORK}/${name}.po "${text}")
  execute_process(COMMAND ${CMAKE_COMMAND} -DMSGCMP=${MSGCMP} -DMSGFMT=${MSGFMT} -DPO=${WORK}/${name}.po
                          -DPOT=${POT} -DMO=${WORK}/${name}.mo -P ${CHECK}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(expected STREQUAL "" AND NOT rc EQUAL 0)
    message(FATAL_ERROR "${name}: refused:\n${out}")
  elseif(NOT expected STREQUAL "" AND (rc EQUAL 0 OR NOT out MATCHES "${expected}"))
    message(FATAL_ERROR "${name}: not refused for \"${expected}\":\n${out}")
  endif()
endfunction()

function(changed name from to expected)
  string(REPLACE "${from}" "${to}" text "${catalogue}")
  if(text STREQUAL catalogue)
    message(FATAL_ERROR "${name}: \"${from}\" is not in ${PO}")
  endif()
  expect_check(${name} "${text}" "${expected}")
endfunction()

expect_check(whole "${catalogue}" "")
changed(missing "msgid \"Quit\"\nmsgstr \"Quitter\"\n" "" "does[ \n]+not[ \n]+translate")
changed(empty "msgstr \"Quitter\"" "msgstr \"\"" "does[ \n]+not[ \n]+translate")
changed(format "msgstr \"Ouvrir %s\"" "msgstr \"Ouvrir %d\"" "does[ \n]+not[ \n]+compile")
