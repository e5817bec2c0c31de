# SPDX-License-Identifier: GPL-3.0-or-later
# Runs tarvento-formula-table and compares the checksum of what it prints with the one
# recorded from an x86-64 build. A build that computes the formulas differently (the x87
# unit's excess precision on i386, a fused multiply-add, another compiler) would set other
# clocks on the same card. To see where two builds part, diff the outputs of their tools.
#   -DTOOL=<tarvento-formula-table> -DEXPECTED=<file with the sha256> -DOUT=<output file>
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${TOOL} OUTPUT_FILE ${OUT} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${TOOL} failed: ${status}")
endif()
file(SHA256 ${OUT} actual)
file(READ ${EXPECTED} expected)
string(STRIP "${expected}" expected)
if(NOT "${actual}" STREQUAL "${expected}")
  message(FATAL_ERROR "the clock formulas give other results than the x86-64 reference:\n"
                      "  ${OUT}: sha256 ${actual}\n  expected:  ${expected}")
endif()
message(STATUS "clock formula table: sha256 ${actual}, as recorded")
