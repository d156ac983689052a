# Writes a gzip'd manual page for one program from its --help and --version, with help2man.
# Run as: cmake -DHELP2MAN=... -DPROGRAM=... -DNAME_TEXT=... -DINCLUDE=... -DOUTPUT=x.1.gz -P
# The help of lumivex-render states defaults from the processor count of the machine it runs on
# ("which is 2 here"); those clauses are dropped so the page says what holds on every machine.
# The gzip header carries no name or time (-n), so the page is the same on every build.

foreach(variable HELP2MAN PROGRAM NAME_TEXT INCLUDE OUTPUT)
    if(NOT DEFINED ${variable})
        message(FATAL_ERROR "man_page.cmake: ${variable} is not set")
    endif()
endforeach()

string(REGEX REPLACE "\\.gz$" "" page "${OUTPUT}")
# The desktop app needs a Qt platform even to print its help; offscreen needs no display.
execute_process(
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
        ${HELP2MAN} --no-info --name=${NAME_TEXT} --include=${INCLUDE} --output=${page}
        ${PROGRAM}
    RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "help2man failed for ${PROGRAM}: ${status}")
endif()

file(READ "${page}" text)
string(REGEX REPLACE ", which is [0-9]+[ \n]+here" "" text "${text}")
string(REGEX REPLACE ", [0-9]+[ \n]+here" "" text "${text}")
file(WRITE "${page}" "${text}")

file(REMOVE "${OUTPUT}")
execute_process(COMMAND gzip -9n "${page}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip failed for ${page}: ${status}")
endif()
