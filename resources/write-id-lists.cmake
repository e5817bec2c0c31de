# SPDX-License-Identifier: GPL-3.0-or-later
# Writes the files that list the supported cards from what the chip table recognises
# (the output of tarvento-supported-ids): the udev rule, the AppStream metainfo and a
# plain list of vendor:device pairs for the package's maintainer scripts.
#   cmake -DIDS_TOOL=... -DRULE_IN=... -DRULE_OUT=... -DMETAINFO_IN=... -DMETAINFO_OUT=...
#         -DLIST_OUT=... -DPROJECT_VERSION=... -DTARVENTO_RELEASE_DATE=... -P write-id-lists.cmake
execute_process(COMMAND ${IDS_TOOL} OUTPUT_VARIABLE ids_text RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${IDS_TOOL} failed (${status})")
endif()
string(REGEX MATCHALL "[^\n]+" id_lines "${ids_text}")
if(NOT id_lines)
  message(FATAL_ERROR "${IDS_TOOL} named no supported card")
endif()

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

configure_file(${RULE_IN} ${RULE_OUT} @ONLY)
configure_file(${METAINFO_IN} ${METAINFO_OUT} @ONLY)
file(WRITE ${LIST_OUT}.new "${pairs}\n")
file(RENAME ${LIST_OUT}.new ${LIST_OUT})
# configure_file keeps a file that did not change as it was: the build must still see the
# outputs as newer than the tool, or it would write them again at every build.
file(TOUCH ${RULE_OUT} ${METAINFO_OUT})
