file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()

foreach(path
    lib/tamsel/Quillet lib/tamsel/tamsel-extractd lib/tamsel/blue.smf
    lib/tamsel/ButtonSkin/bg.bmp lib/tamsel/ButtonSkin/new.bmp lib/tamsel/ButtonSkin/start.bmp
    lib/tamsel/ButtonSkin/stop.bmp lib/tamsel/ButtonSkin/delete.bmp
    lib/tamsel/ButtonSkin/convert.bmp lib/tamsel/ButtonSkin/browse.bmp
    lib/tamsel/ButtonSkin/state0.png lib/tamsel/ButtonSkin/state4.png
    bin/tamsel share/applications/tamsel.desktop share/icons/hicolor/64x64/apps/tamsel.png)
  if(NOT EXISTS ${PREFIX}/${path})
    message(FATAL_ERROR "not installed: ${path}")
  endif()
endforeach()

file(READ ${PREFIX}/share/applications/tamsel.desktop entry)
foreach(line "Exec=tamsel %U" "Icon=tamsel" "Name=Tamsel" "Type=Application")
  string(FIND "${entry}" "${line}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "tamsel.desktop lacks ${line}")
  endif()
endforeach()

# The launcher finds the program wherever the prefix was put.
file(READ ${PREFIX}/bin/tamsel launcher)
string(FIND "${launcher}" "../lib/tamsel/Quillet" at)
if(at EQUAL -1)
  message(FATAL_ERROR "the launcher does not point beside itself: ${launcher}")
endif()
