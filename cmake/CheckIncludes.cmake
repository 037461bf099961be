# Fails when a source folder includes a header of a folder above it. The layers, bottom
# up: platform, stream and pdf (one layer: they use each other), font, text, writer,
# links, cli. Each folder may include its own headers and those of the layers below.
#
#   cmake -DROOT=<source folder> -P cmake/CheckIncludes.cmake
#
# Prints every offending line as "<file>:<line>: <text>" and exits with an error.
if(NOT ROOT)
  message(FATAL_ERROR "usage: cmake -DROOT=<source folder> -P CheckIncludes.cmake")
endif()

get_filename_component(ROOT ${ROOT} ABSOLUTE)
set(allowed_platform platform)
set(allowed_stream platform stream pdf)
set(allowed_pdf platform stream pdf)
set(allowed_font platform stream pdf font)
set(allowed_text platform stream pdf font text)
set(allowed_writer platform stream pdf font text writer)
set(allowed_links platform stream pdf font text writer links)
set(allowed_cli platform stream pdf font text writer links cli)
# Folders of the tree that no library may include.
set(all_folders platform stream pdf font text writer links cli tests tools fuzz bench)

set(bad 0)
foreach(folder platform stream pdf font text writer links cli)
  file(GLOB sources ${ROOT}/${folder}/*.h ${ROOT}/${folder}/*.cpp)
  foreach(src ${sources})
    file(STRINGS ${src} lines)
    set(n 0)
    foreach(line IN LISTS lines)
      math(EXPR n "${n} + 1")
      if(line MATCHES "^[ \t]*#[ \t]*include[ \t]*\"([A-Za-z0-9_]+)/")
        set(target ${CMAKE_MATCH_1})
        list(FIND all_folders ${target} known)
        list(FIND allowed_${folder} ${target} ok)
        if(known GREATER -1 AND ok EQUAL -1)
          file(RELATIVE_PATH rel ${ROOT} ${src})
          message("${rel}:${n}: ${line}    (${folder}/ may include only: ${allowed_${folder}})")
          math(EXPR bad "${bad} + 1")
        endif()
      endif()
    endforeach()
  endforeach()
endforeach()

if(bad GREATER 0)
  message(FATAL_ERROR "${bad} include(s) going up a layer")
endif()
message("includes follow the layers")
