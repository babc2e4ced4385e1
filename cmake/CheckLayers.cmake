# Fails when a product file includes a header from a folder above its own in
# the dependency order, or when a folder below ui/ and browser/ includes a
# Qt Widgets header. Run as a test:
#   cmake -DROOT=<source dir> -DWIDGETS_DIR=<QtWidgets include dir> -P CheckLayers.cmake
#
# Rank of each folder; a file may include its own folder and folders of a
# lower rank. core/ is the ground, app/ the program's entry on top.
cmake_minimum_required(VERSION 3.16)
set(rank_core 0)
set(rank_p2p 1)
set(rank_res 1)
set(rank_cloud 2)
set(rank_camera 2)
set(rank_client 3)
set(rank_browser 3)
set(rank_ui 4)
set(rank_app 5)
# p2p/ stands in for a vendor library: it includes nothing of ours.
set(alone_p2p TRUE)
set(no_widgets core p2p res cloud camera client)

set(bad "")
foreach(folder core p2p res cloud camera client browser ui app)
  file(GLOB files ${ROOT}/${folder}/*.cpp ${ROOT}/${folder}/*.h)
  foreach(f ${files})
    file(STRINGS ${f} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
    file(RELATIVE_PATH rel ${ROOT} ${f})
    foreach(line ${lines})
      if(line MATCHES "#[ \t]*include[ \t]*\"([a-z0-9_]+)/[^\"]+\"")
        set(to ${CMAKE_MATCH_1})
        if(DEFINED rank_${to} AND NOT to STREQUAL folder)
          if(alone_${folder} OR rank_${to} GREATER_EQUAL rank_${folder})
            list(APPEND bad "${rel}: ${line} (${to}/ is not below ${folder}/)")
          endif()
        endif()
      elseif(line MATCHES "#[ \t]*include[ \t]*<(Q[A-Za-z]+)>" AND folder IN_LIST no_widgets)
        if(EXISTS ${WIDGETS_DIR}/${CMAKE_MATCH_1})
          list(APPEND bad "${rel}: ${line} (a widget header below ui/)")
        endif()
      endif()
    endforeach()
  endforeach()
endforeach()

if(bad)
  list(JOIN bad "\n" text)
  message(FATAL_ERROR "includes against the dependency order:\n${text}")
endif()
message(STATUS "includes follow the dependency order")
