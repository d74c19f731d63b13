# Copies the shipped data files into the program's client/ folder, but never over a file that
# is already there: that file holds the user's own data.
file(MAKE_DIRECTORY "${DEST}")
file(GLOB shipped "${SRC}/*")
foreach(f IN LISTS shipped)
    get_filename_component(name "${f}" NAME)
    if(NOT EXISTS "${DEST}/${name}")
        file(COPY "${f}" DESTINATION "${DEST}")
    endif()
endforeach()
