# Checks that the include graph reads downward only. The source folders stand on floors, lowest first:
#   0  OrImage   the engine (no Qt) and, on top of it, the TOrImage control (OrImage.h, OrImage.cpp)
#   1  platform  picture files, text files, errors, the seam for boxes and dialogs, window geometry
#   2  dialogs, update, batch
#   3  app
# A file may include headers of its own folder and of lower floors only: never of a higher floor, never of
# another folder on its own floor. Inside OrImage the engine includes neither Qt nor the control.
#
#   cmake -DSOURCE_DIR=<tree> -P IncludeDirection.cmake
cmake_minimum_required(VERSION 3.25)

set(floors OrImage=0 platform=1 dialogs=2 update=2 batch=2 app=3)
set(controlFiles OrImage.h OrImage.cpp)

# Which folder each header lives in.
foreach(entry ${floors})
    string(REPLACE "=" ";" pair ${entry})
    list(GET pair 0 folder)
    list(GET pair 1 floor)
    set(floor_${folder} ${floor})
    file(GLOB headers RELATIVE ${SOURCE_DIR}/${folder} ${SOURCE_DIR}/${folder}/*.h)
    foreach(header ${headers})
        set(home_${header} ${folder})
    endforeach()
endforeach()

set(faults "")
foreach(entry ${floors})
    string(REPLACE "=" ";" pair ${entry})
    list(GET pair 0 folder)
    file(GLOB sources RELATIVE ${SOURCE_DIR}/${folder} ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.cpp)
    foreach(source ${sources})
        file(STRINGS ${SOURCE_DIR}/${folder}/${source} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
        set(engineFile FALSE)
        if(folder STREQUAL "OrImage" AND NOT source IN_LIST controlFiles)
            set(engineFile TRUE)
        endif()
        foreach(line ${lines})
            if(line MATCHES "#[ \t]*include[ \t]*\"([^\"]+)\"")
                get_filename_component(included ${CMAKE_MATCH_1} NAME)
                if(engineFile AND included STREQUAL "OrImage.h")
                    string(APPEND faults "  ${folder}/${source}: the engine includes the control OrImage.h\n")
                endif()
                if(DEFINED home_${included})
                    set(home ${home_${included}})
                    if(NOT home STREQUAL folder AND NOT floor_${home} LESS floor_${folder})
                        string(APPEND faults
                            "  ${folder}/${source} includes ${home}/${included} from a higher floor or a sibling\n")
                    endif()
                endif()
            elseif(engineFile AND line MATCHES "#[ \t]*include[ \t]*<(Q[A-Za-z]*)")
                string(APPEND faults "  ${folder}/${source}: the engine includes the Qt header ${CMAKE_MATCH_1}\n")
            endif()
        endforeach()
    endforeach()
endforeach()

if(faults)
    message(FATAL_ERROR "Includes that go up instead of down:\n${faults}")
endif()
message(STATUS "Every include reads downward.")
