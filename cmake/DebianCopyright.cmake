# Writes the package's machine-readable copyright file from LICENSE (run with cmake -P).
# Inputs: LICENSE (path of the licence), CONTACT (upstream contact), OUTPUT (file to write).
cmake_minimum_required(VERSION 3.25)
file(READ "${LICENSE}" text)

# The holder line goes in the Copyright field; everything after it is the licence text.
string(REGEX MATCH "Copyright \\(c\\) ([^\n]+)" holder "${text}")
if(NOT holder)
  message(FATAL_ERROR "${LICENSE} has no \"Copyright (c)\" line")
endif()
set(holder "${CMAKE_MATCH_1}")
string(REGEX REPLACE "^.*Copyright \\(c\\) [^\n]+\n+" "" body "${text}")
string(STRIP "${body}" body)

# Continuation lines start with a space, and an empty line is written as " .".
string(REPLACE "\n\n" "\n.\n" body "${body}")
string(REPLACE "\n" "\n " body "${body}")

file(WRITE "${OUTPUT}.tmp"
  "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
  "Upstream-Name: walkers\n"
  "Upstream-Contact: ${CONTACT}\n"
  "\n"
  "Files: *\n"
  "Copyright: ${holder}\n"
  "License: Expat\n"
  " ${body}\n")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
