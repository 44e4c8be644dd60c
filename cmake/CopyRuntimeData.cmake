# cmake -DSRC=<source root> -DDST=<runtime dir> -P CopyRuntimeData.cmake
# Copies beauty_panel/, res/ and the docs beside the executables; a folder that does not
# exist (yet) is skipped rather than failing the build.
foreach(dir beauty_panel res docs)
    if(IS_DIRECTORY "${SRC}/${dir}")
        file(COPY "${SRC}/${dir}" DESTINATION "${DST}")
    endif()
endforeach()
