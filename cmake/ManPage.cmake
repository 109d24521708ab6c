# Writes a tool's manual page from its own --help texts, so that the page
# and the help cannot say different things. Run as a script:
#   cmake -DPROGRAM=path [-DEMULATOR=cmd] -DNAME=fxrender -DCOMMANDS=demo;render
#         -DSUMMARY=text -DDESCRIPTION=text -DVERSION=1.0.0 -DSEE_ALSO=fxvalidate
#         -DFILES_TEXT=text -DOUTPUT=fxrender.1 [-DCOMPRESS=ON] -P ManPage.cmake
# DESCRIPTION and the main --help make the description, each command's
# --help a subsection of COMMANDS. COMPRESS writes OUTPUT.gz with gzip -9n
# (no name, no time stamp) instead, as Debian packages carry manual pages.

function(help_text out)
  execute_process(COMMAND ${EMULATOR} ${PROGRAM} ${ARGN} --help
    OUTPUT_VARIABLE text ERROR_VARIABLE errors RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} ${ARGN} --help failed (${status}): ${errors}")
  endif()
  # A default that is a path of the machine the page was made on (the
  # plug-in beside the built tool) means nothing to readers.
  string(REGEX REPLACE "(TEXT)=/[^ \n]*" "\\1" text "${text}")
  string(REGEX REPLACE "\n+$" "" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Text with roff's escape character and the minus sign made literal.
function(roff_text out text)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Text shown as it is, in no-fill mode: also a control character at the
# start of a line made literal.
function(roff_literal out text)
  roff_text(text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  set(${out} ".nf\n${text}\n.fi\n" PARENT_SCOPE)
endfunction()

string(TOUPPER "${NAME}" title)
roff_text(summary "${SUMMARY}")
set(page ".TH ${title} 1 \"\" \"tempo-flanger ${VERSION}\" \"User Commands\"\n")
string(APPEND page ".SH NAME\n${NAME} \\- ${summary}\n")

help_text(main)
# The first line repeats the summary; the usage line is the synopsis.
string(REGEX MATCH "Usage: [^\n]*" usage "${main}")
string(REGEX REPLACE "^Usage: ${NAME} " "" usage "${usage}")
# (REGEX REPLACE would anchor ^ again after each match: cut by position.)
string(FIND "${main}" "\n\n" blank)
math(EXPR after "${blank} + 2")
string(SUBSTRING "${main}" ${after} -1 main)
roff_text(usage "${usage}")
string(APPEND page ".SH SYNOPSIS\n.B ${NAME}\n${usage}\n")
roff_literal(block "${main}")
roff_text(description "${DESCRIPTION}")
string(APPEND page ".SH DESCRIPTION\n${description}\n.PP\n${block}")

if(COMMANDS)
  string(APPEND page ".SH COMMANDS\n")
  foreach(command IN LISTS COMMANDS)
    help_text(text ${command})
    string(APPEND page ".SS ${NAME} ${command}\n")
    roff_literal(block "${text}")
    string(APPEND page "${block}")
  endforeach()
endif()
if(FILES_TEXT)
  roff_text(files "${FILES_TEXT}")
  string(APPEND page ".SH FILES\n${files}\n")
endif()
if(SEE_ALSO)
  list(TRANSFORM SEE_ALSO APPEND " (1)")
  list(JOIN SEE_ALSO ",\n.BR " references)
  string(APPEND page ".SH SEE ALSO\n.BR ${references}\n")
endif()

file(WRITE "${OUTPUT}" "${page}")
if(COMPRESS)
  execute_process(COMMAND gzip -9nf "${OUTPUT}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip ${OUTPUT} failed")
  endif()
endif()
