# Run by ctest (see CMakeLists.txt): BINARY_DIR, SOURCE_DIR, PROBES ("target|header|pass-or-fail",
# comma-separated).
set(failures "")

# ---- probes
string(REPLACE "," ";" probes "${PROBES}")
foreach(probe ${probes})
  string(REPLACE "|" ";" parts "${probe}")
  list(GET parts 0 target)
  list(GET parts 1 header)
  list(GET parts 2 expect)
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${BINARY_DIR} --target ${target}
                  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(expect STREQUAL "pass")
    if(NOT result EQUAL 0)
      list(APPEND failures "${target}: an adapter could not include <${header}>:\n${out}${err}")
    endif()
  elseif(result EQUAL 0)
    list(APPEND failures "${target}: a deciding target reaches <${header}>")
  elseif(NOT "${out}${err}" MATCHES "${header}: No such file or directory")
    list(APPEND failures "${target}: failed for another reason than <${header}>:\n${out}${err}")
  endif()
endforeach()

# ---- include arrows: each rule is "folder regex@forbidden include regex@why"
set(toolkit "<(gtk|gdk|gdk-pixbuf|webkit2|jsc|libsoup[^/]*|gio)/|<glib")
set(adapters "\"(platform/gtk|engine/webkitgtk|render/webext|glibutil|shell)/")
set(deciding "^((common|update)/|(engine|platform|render)/[^/]+$)")
set(rules
    "${deciding}@${toolkit}@deciding code includes a toolkit header"
    "${deciding}@${adapters}@deciding code includes an adapter or the shell"
    "^engine/[^/]+$@\"common/@the engine's neutral types include application code"
    "^render/@\"platform/gtk/@the web process includes the window's platform layer"
    "^engine/webkitgtk/@\"common/(ClientHandler|App[A-Za-z]*Handler|NativeMessaging)/@the adapter includes the client handler"
    "^engine/@\"common/ProcessMessages\\.h\"@the engine reads the application's messages"
    "^common/NativeMessaging/@\"common/ClientHandler/@the messaging transport includes the client handler"
    "^common/[^/]+$@\"(common/ClientHandler|shell)/@a common helper includes the client handler or the shell"
    "^common/App[A-Za-z]*Handler/@\"common/ClientHandler/@a component includes the client handler")
# Sanctioned exceptions, "file regex@include regex": the render side's machine id uses GLib's HMAC,
# the origin list and the site address GLib's URI parser (both processes judge origins the same way),
# the WebSocket listener hands the main loop to libwebsockets.
set(exceptions "^render/MachineId\\.cpp$@<glib" "^common/AppOrigins\\.cpp$@<glib"
               "^render/SiteAddress\\.cpp$@<glib" "^common/NativeMessaging/WebSocketListener\\.cpp$@<glib")

file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*.h ${SOURCE_DIR}/*.cpp)
set(checked 0)
foreach(file ${sources})
  file(STRINGS ${SOURCE_DIR}/${file} includes REGEX "^#include ")
  foreach(line ${includes})
    math(EXPR checked "${checked} + 1")
    if(line MATCHES "<libwebsockets\\.h>" AND NOT file STREQUAL "common/NativeMessaging/WebSocketListener.cpp")
      list(APPEND failures "${file}: only the listener includes libwebsockets: ${line}")
    endif()
    foreach(rule ${rules})
      string(REGEX MATCH "^([^@]*)@([^@]*)@(.*)$" _ "${rule}")
      set(folder "${CMAKE_MATCH_1}")
      set(forbidden "${CMAKE_MATCH_2}")
      set(why "${CMAKE_MATCH_3}")
      if(file MATCHES "${folder}" AND line MATCHES "${forbidden}")
        set(excused FALSE)
        foreach(exception ${exceptions})
          string(REGEX MATCH "^([^@]*)@(.*)$" _ "${exception}")
          if(file MATCHES "${CMAKE_MATCH_1}" AND line MATCHES "${CMAKE_MATCH_2}")
            set(excused TRUE)
          endif()
        endforeach()
        if(NOT excused)
          list(APPEND failures "${file}: ${why}: ${line}")
        endif()
      endif()
    endforeach()
  endforeach()
endforeach()

if(failures)
  string(REPLACE ";" "\n" text "${failures}")
  message(FATAL_ERROR "The dependency rule is broken:\n${text}")
endif()
list(LENGTH probes probeCount)
message(STATUS "dependency rule holds: ${probeCount} probes, ${checked} include lines")
