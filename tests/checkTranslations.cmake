# SPDX-FileCopyrightText: 2026 The Stelvo developers
#
# SPDX-License-Identifier: GPL-3.0-or-later

# Every text the user sees is translated: lupdate over the sources, run
# into a copy of each .ts file, must find nothing new and nothing gone, and
# no entry may be unfinished. Script mode, with
#   LUPDATE        the lupdate program
#   PROJECT_CMAKE  the project description qt_add_translations generated
#   GENERATOR      Qt's GenerateLUpdateProject.cmake
#   OPTIONS        lupdate's options, as update_translations passes them
#   WORK_DIR       a scratch folder
include(${PROJECT_CMAKE})
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
execute_process(COMMAND ${CMAKE_COMMAND} -DIN_FILE=${PROJECT_CMAKE}
                        -DOUT_FILE=${WORK_DIR}/project.json -P ${GENERATOR}
                COMMAND_ERROR_IS_FATAL ANY)
separate_arguments(options UNIX_COMMAND "${OPTIONS}")
foreach(ts ${lupdate_translations})
  get_filename_component(name ${ts} NAME)
  file(COPY_FILE ${ts} ${WORK_DIR}/${name})
  execute_process(COMMAND ${LUPDATE} -project ${WORK_DIR}/project.json ${options}
                          -ts ${WORK_DIR}/${name}
                  OUTPUT_VARIABLE output ERROR_VARIABLE output RESULT_VARIABLE failed)
  file(READ ${ts} original)
  file(READ ${WORK_DIR}/${name} updated)
  if(failed OR NOT updated STREQUAL original)
    message(FATAL_ERROR "${name} does not match the sources; run `ninja update_translations` "
                        "and translate what it adds:\n${output}")
  endif()
  if(updated MATCHES "type=\"(unfinished|vanished|obsolete)\"")
    message(FATAL_ERROR "${name} has entries left to translate (type=\"${CMAKE_MATCH_1}\")")
  endif()
  message(STATUS "${name}: complete")
endforeach()
