# cmake -DOUT=<path> -P write-ini.cmake: writes the viewer's first settings
# (CR LF lines, section EXEINI: NUMBER text colour 0 = black, NUMBER2
# background colour 16761024 = red 192, green 192, blue 255) unless the file
# is already there.
if(NOT EXISTS "${OUT}")
  string(ASCII 13 CR)
  file(WRITE "${OUT}" "[EXEINI]${CR}\nNUMBER=0${CR}\nNUMBER2=16761024${CR}\n")
endif()
