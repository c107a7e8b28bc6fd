# The headless tour as scripts/demo runs it on a machine without a display:
# no display and no Qt platform in its environment. It must exit 0 and leave
# its pictures in the folder it was given, and print that folder: each
# picture a PNG file (signature, then its header chunk) under its expected
# name, and nothing else there. A folder it cannot make must end it at once,
# with a non-zero status and a French message.
#
#   cmake -DTOUR=<tagbench-tour> -DOUTPUT=<folder> -P tourpictures.cmake

set(expected banc-journal.png banc-oscilloscope.png iso14443a.png iso15693.png visualisation.png)

file(REMOVE_RECURSE "${OUTPUT}")
execute_process(
    COMMAND "${CMAKE_COMMAND}" -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY --unset=QT_QPA_PLATFORM
            "${TOUR}" --sortie "${OUTPUT}"
    RESULT_VARIABLE status OUTPUT_VARIABLE said ERROR_VARIABLE complained TIMEOUT 120)
if(NOT status STREQUAL "0")
    message(FATAL_ERROR "the tour ended with ${status}:\n${said}\n${complained}")
endif()
string(FIND "${said}" "${OUTPUT}" at)
if(at EQUAL -1)
    message(FATAL_ERROR "the tour did not print its folder ${OUTPUT}:\n${said}")
endif()

file(GLOB written RELATIVE "${OUTPUT}" "${OUTPUT}/*")
list(SORT written)
if(NOT written STREQUAL expected)
    message(FATAL_ERROR "the tour wrote [${written}], not [${expected}]")
endif()
foreach(name IN LISTS expected)
    set(picture "${OUTPUT}/${name}")
    file(SIZE "${picture}" size)
    # The PNG signature, the header chunk's length (13) and its type, IHDR.
    file(READ "${picture}" start LIMIT 16 HEX)
    if(size EQUAL 0 OR NOT start STREQUAL "89504e470d0a1a0a0000000d49484452")
        message(FATAL_ERROR "${name} (${size} bytes) is no PNG picture: it starts with ${start}")
    endif()
endforeach()

# A file where the folder should be.
set(blocked "${OUTPUT}/visualisation.png")
execute_process(
    COMMAND "${CMAKE_COMMAND}" -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY --unset=QT_QPA_PLATFORM
            "${TOUR}" --sortie "${blocked}"
    RESULT_VARIABLE status OUTPUT_VARIABLE said ERROR_VARIABLE complained TIMEOUT 60)
if(status STREQUAL "0" OR NOT complained MATCHES "le dossier des images ne peut pas être créé")
    message(FATAL_ERROR "a folder that cannot be made gave ${status}:\n${said}\n${complained}")
endif()
