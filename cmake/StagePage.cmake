# Copies the page's files other than its modules from DIR to STAGE, where the build put the one
# bundled app.js, and takes out of index.html the preloads of the modules that are no more.
# Run with cmake -P at build time; FILES (comma-separated, relative to DIR) are the files to copy.
string(REPLACE "," ";" FILES "${FILES}")
foreach(file IN LISTS FILES)
  file(READ "${DIR}/${file}" text)
  if(file STREQUAL "index.html")
    string(REGEX REPLACE "[ ]*<!--[^\n]*-->\n([ ]*<link rel=\"modulepreload\"[^\n]*\n)+" "" text "${text}")
    string(REGEX REPLACE "[ ]*<link rel=\"modulepreload\"[^\n]*\n" "" text "${text}")
  endif()
  file(WRITE "${STAGE}/${file}.tmp" "${text}")
  file(COPY_FILE "${STAGE}/${file}.tmp" "${STAGE}/${file}" ONLY_IF_DIFFERENT)
  file(REMOVE "${STAGE}/${file}.tmp")
endforeach()
