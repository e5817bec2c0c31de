# SPDX-License-Identifier: GPL-3.0-or-later
# Writes the files that list the supported cards from what the chip table recognises
# (the output of tarvento-supported-ids): the udev rule, the AppStream metainfo, a plain
# list of vendor:device pairs for the package's maintainer scripts, and the manual pages,
# which name the chips, their vendors and their slider limits.
#   cmake -DIDS_TOOL=... -DRULE_IN=... -DRULE_OUT=... -DMETAINFO_IN=... -DMETAINFO_OUT=...
#         -DLIST_OUT=... -DMAN_IN=<folder> -DMAN_OUT=<folder> -DPROJECT_VERSION=...
#         -DTARVENTO_RELEASE_DATE=... -P write-id-lists.cmake

# The lines the tool prints with the given arguments; at least one.
function(tool_lines out_var)
  execute_process(COMMAND ${IDS_TOOL} ${ARGN} OUTPUT_VARIABLE text RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${IDS_TOOL} ${ARGN} failed (${status})")
  endif()
  string(REGEX MATCHALL "[^\n]+" lines "${text}")
  if(NOT lines)
    message(FATAL_ERROR "${IDS_TOOL} ${ARGN} named no supported card")
  endif()
  set(${out_var} "${lines}" PARENT_SCOPE)
endfunction()

tool_lines(id_lines)

set(TARVENTO_UDEV_CHIP_LIST "")
set(TARVENTO_UDEV_CARD_MATCHES "")
set(TARVENTO_MODALIASES "")
set(pairs "")
foreach(line IN LISTS id_lines)
  if(NOT line MATCHES "^([0-9a-f][0-9a-f][0-9a-f][0-9a-f]) ([0-9a-f][0-9a-f][0-9a-f][0-9a-f]) ([A-Za-z0-9_]+)$")
    message(FATAL_ERROR "${IDS_TOOL} printed an unexpected line: '${line}'")
  endif()
  set(vendor ${CMAKE_MATCH_1})
  set(device ${CMAKE_MATCH_2})
  set(name ${CMAKE_MATCH_3})
  string(TOUPPER "${vendor}" VENDOR)
  string(TOUPPER "${device}" DEVICE)
  list(APPEND TARVENTO_UDEV_CHIP_LIST "#   ${vendor}:${device}  ${name}")
  list(APPEND TARVENTO_UDEV_CARD_MATCHES
       "ATTR{vendor}==\"0x${vendor}\", ATTR{device}==\"0x${device}\", GOTO=\"tarvento_card\"")
  # Class 03h subclass 00h: a VGA-compatible function, as the rule asks.
  list(APPEND TARVENTO_MODALIASES
       "    <modalias>pci:v0000${VENDOR}d0000${DEVICE}sv*sd*bc03sc00i*</modalias>")
  list(APPEND pairs "${vendor}:${device}")
endforeach()
list(JOIN TARVENTO_UDEV_CHIP_LIST "\n" TARVENTO_UDEV_CHIP_LIST)
list(JOIN TARVENTO_UDEV_CARD_MATCHES "\n" TARVENTO_UDEV_CARD_MATCHES)
list(JOIN TARVENTO_MODALIASES "\n" TARVENTO_MODALIASES)
list(JOIN pairs "\n" pairs)


# "a, b or c"
function(join_as_words out_var last_join)
  list(LENGTH ARGN count)
  set(text "")
  set(index 0)
  foreach(item IN LISTS ARGN)
    math(EXPR index "${index} + 1")
    if(index EQUAL 1)
      set(text "${item}")
    elseif(index EQUAL count)
      string(APPEND text "${last_join}${item}")
    else()
      string(APPEND text ", ${item}")
    endif()
  endforeach()
  set(${out_var} "${text}" PARENT_SCOPE)
endfunction()

# Each chip once, with its slider limits, whether its sliders move together and its ids.
tool_lines(chip_lines --chips)
set(names_bold "")
set(names_list "")
set(words "")
set(words_unbroken "")
set(one_clock "")
set(limits "")
set(vendors "")
foreach(line IN LISTS chip_lines)
  if(NOT line MATCHES "^([A-Za-z0-9_]+) (-?[0-9]+) (-?[0-9]+) (-?[0-9]+) (-?[0-9]+) (linked|independent)(( [0-9a-f][0-9a-f][0-9a-f][0-9a-f])+)$")
    message(FATAL_ERROR "${IDS_TOOL} --chips printed an unexpected line: '${line}'")
  endif()
  set(name ${CMAKE_MATCH_1})
  string(STRIP "${CMAKE_MATCH_7}" chip_vendors)
  string(REPLACE " " ";" chip_vendors "${chip_vendors}")
  foreach(vendor IN LISTS chip_vendors)
    string(TOUPPER "${vendor}" vendor)
    list(APPEND vendors "${vendor}h")
  endforeach()
  # As people write it: RIVA_128ZX is the RIVA 128ZX; in a manual page without a line break
  # inside.
  string(REPLACE "_" " " word "${name}")
  string(REPLACE "_" "\\ " word_unbroken "${name}")
  list(APPEND names_bold "\\fB${name}\\fR")
  list(APPEND names_list ".BR ${name} ,")
  list(APPEND words "${word}")
  list(APPEND words_unbroken "${word_unbroken}")
  list(APPEND limits "${name}\t${CMAKE_MATCH_2}..${CMAKE_MATCH_3} MHz\t${CMAKE_MATCH_4}..${CMAKE_MATCH_5} MHz")
  if(CMAKE_MATCH_6 STREQUAL "linked")
    list(APPEND one_clock "${word}")
  endif()
endforeach()
# The vendors of the chips (a stand-in card's are not theirs), lowest first: "10DEh or 12D2h".
list(REMOVE_DUPLICATES vendors)
list(SORT vendors)
join_as_words(TARVENTO_VENDORS_OR " or " ${vendors})
join_as_words(TARVENTO_CHIPS_AND " and " ${words})
join_as_words(TARVENTO_CHIPS_OR " or " ${words})
join_as_words(TARVENTO_CHIPS_OR_UNBROKEN " or " ${words_unbroken})
join_as_words(TARVENTO_CHIP_NAMES_BOLD " or " ${names_bold})
# One name a line, the last one without its comma.
list(POP_BACK names_list last)
string(REGEX REPLACE "^\\.BR (.*) ,$" ".B \\1" last "${last}")
list(APPEND names_list "${last}")
list(JOIN names_list "\n" TARVENTO_CHIP_NAMES_LIST)
list(JOIN limits "\n" TARVENTO_CHIP_LIMITS)
# "The RIVA 128 and 128ZX have one clock": later names of the same family drop the
# family's first word. Without such a chip the line is a comment, so no paragraph is left
# empty.
list(LENGTH one_clock one_clock_count)
if(one_clock_count EQUAL 0)
  set(TARVENTO_LINKED_CHIPS ".\\\" no chip runs both clocks from one")
else()
  list(GET one_clock 0 first)
  string(REGEX REPLACE " .*" "" family "${first}")
  set(short "")
  foreach(word IN LISTS one_clock)
    if(short AND word MATCHES "^${family} ")
      string(LENGTH "${family} " cut)
      string(SUBSTRING "${word}" ${cut} -1 word)
    endif()
    list(APPEND short "${word}")
  endforeach()
  join_as_words(one_clock_words " and " ${short})
  if(one_clock_count EQUAL 1)
    set(verb "has")
  else()
    set(verb "have")
  endif()
  set(TARVENTO_LINKED_CHIPS
      ".PP\nThe ${one_clock_words} ${verb} one clock for both: their sliders move together.")
endif()

configure_file(${RULE_IN} ${RULE_OUT} @ONLY)
configure_file(${METAINFO_IN} ${METAINFO_OUT} @ONLY)
# The manual page names the folders this build installs into (each release has its own):
# as roman text a hyphen must be written "\-".
foreach(dir UNIT_DIR RULES_DIR SYSUSERS_DIR)
  string(REPLACE "-" "\\-" TARVENTO_MAN_${dir} "${TARVENTO_${dir}}")
endforeach()
set(pages "")
foreach(page tarvento tarvento-virtual-card)
  configure_file(${MAN_IN}/${page}.1.in ${MAN_OUT}/${page}.1 @ONLY)
  list(APPEND pages ${MAN_OUT}/${page}.1)
endforeach()
file(WRITE ${LIST_OUT}.new "${pairs}\n")
file(RENAME ${LIST_OUT}.new ${LIST_OUT})
# configure_file keeps a file that did not change as it was: the build must still see the
# outputs as newer than the tool, or it would write them again at every build.
file(TOUCH ${RULE_OUT} ${METAINFO_OUT} ${pages})
