# The headless tour as scripts/demo runs it on a machine without a display:
# no display and no Qt platform in its environment. It must exit 0, print the
# folder of its pictures and leave them there: each one a PNG file (its
# signature, then its header chunk) under its expected name, and nothing
# else. The folder is the one given with --sortie, or else a fresh one in the
# temporary directory. A folder it cannot make must end it at once, with a
# non-zero status and a French message.
#
#   cmake -DTOUR=<tagbench-tour> -DOUTPUT=<folder> -P tourpictures.cmake

set(expected banc-journal.png banc-oscilloscope.png iso14443a.png iso15693.png visualisation.png)
set(headless "${CMAKE_COMMAND}" -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY --unset=QT_QPA_PLATFORM)

function(check_pictures folder)
    file(GLOB written RELATIVE "${folder}" "${folder}/*")
    list(SORT written)
    if(NOT written STREQUAL expected)
        message(FATAL_ERROR "the tour wrote [${written}] in ${folder}, not [${expected}]")
    endif()
    foreach(name IN LISTS expected)
        set(picture "${folder}/${name}")
        file(SIZE "${picture}" size)
        # The PNG signature, the header chunk's length (13) and its type, IHDR.
        file(READ "${picture}" start LIMIT 16 HEX)
        if(size EQUAL 0 OR NOT start STREQUAL "89504e470d0a1a0a0000000d49484452")
            message(FATAL_ERROR "${name} (${size} bytes) is no PNG picture: it starts with ${start}")
        endif()
    endforeach()
endfunction()

# Into the folder given.
file(REMOVE_RECURSE "${OUTPUT}")
execute_process(COMMAND ${headless} "${TOUR}" --sortie "${OUTPUT}"
    RESULT_VARIABLE status OUTPUT_VARIABLE said ERROR_VARIABLE complained TIMEOUT 120)
if(NOT status STREQUAL "0")
    message(FATAL_ERROR "the tour ended with ${status}:\n${said}\n${complained}")
endif()
string(FIND "${said}" "${OUTPUT}" at)
if(at EQUAL -1)
    message(FATAL_ERROR "the tour did not print its folder ${OUTPUT}:\n${said}")
endif()
check_pictures("${OUTPUT}")

# Into a fresh folder of the temporary directory, as scripts/demo has it.
set(temporary "${OUTPUT}-temporary")
file(REMOVE_RECURSE "${temporary}")
file(MAKE_DIRECTORY "${temporary}")
execute_process(COMMAND ${headless} "TMPDIR=${temporary}" "${TOUR}"
    RESULT_VARIABLE status OUTPUT_VARIABLE said ERROR_VARIABLE complained TIMEOUT 120)
file(GLOB made LIST_DIRECTORIES true "${temporary}/tagbench-visite-*")
list(LENGTH made count)
if(NOT status STREQUAL "0" OR NOT count EQUAL 1)
    message(FATAL_ERROR "the tour ended with ${status}, leaving [${made}] in ${temporary}:\n${said}\n${complained}")
endif()
string(FIND "${said}" "${made}" at)
if(at EQUAL -1)
    message(FATAL_ERROR "the tour did not print its folder ${made}:\n${said}")
endif()
check_pictures("${made}")
file(REMOVE_RECURSE "${temporary}")

# A file where the folder should be.
execute_process(COMMAND ${headless} "${TOUR}" --sortie "${OUTPUT}/visualisation.png"
    RESULT_VARIABLE status OUTPUT_VARIABLE said ERROR_VARIABLE complained TIMEOUT 60)
if(status STREQUAL "0" OR NOT complained MATCHES "le dossier des images ne peut pas être créé")
    message(FATAL_ERROR "a folder that cannot be made gave ${status}:\n${said}\n${complained}")
endif()
