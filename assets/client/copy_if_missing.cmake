# cmake -DSRC=<file> -DDST=<file> -P copy_if_missing.cmake
# Ships a settings file without ever replacing the user's own.
if(NOT EXISTS "${DST}")
  get_filename_component(dir "${DST}" DIRECTORY)
  file(MAKE_DIRECTORY "${dir}")
  file(COPY_FILE "${SRC}" "${DST}")
  # It will hold the start-up password: readable by its owner only.
  file(CHMOD "${DST}" PERMISSIONS OWNER_READ OWNER_WRITE)
endif()
