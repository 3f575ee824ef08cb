# One folder, one library; includes run one way, from the window and the
# command line down to the core. Each library says which others it builds
# on; a source or header that includes a folder outside that set, or a core
# library that reaches for anything beyond QtCore, fails the build.
#
#   velkor_library(NAME [CORE] [SOURCES ...] [DEPENDS velkor libraries]
#                  [LINKS other libraries])
#       A library over the files of the current folder. CORE: may link
#       Qt6::Core and other core libraries only. Without SOURCES the library
#       is headers only.
#   velkor_program(NAME SOURCES ... DEPENDS ...)
#       A program over the libraries it names.
#   velkor_generated_header(NAME FOLDER folder HEADER name CONTENT text)
#       A header written by CMake into the build tree, included as
#       "folder/name", as a library of its own.
#   velkor_aggregate(NAME DEPENDS ...)
#       A name for several core libraries together; no files of its own.
#   velkor_enforce_layers()
#       Once, after every library is defined: checks the rules above.

set(VELKOR_LAYER_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/CheckIncludes.cmake)

function(velkor_library name)
    cmake_parse_arguments(ARG "CORE" "" "SOURCES;DEPENDS;LINKS" ${ARGN})
    file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR}/src ${CMAKE_CURRENT_SOURCE_DIR})
    if(ARG_SOURCES)
        add_library(${name} STATIC ${ARG_SOURCES})
        target_link_libraries(${name} PUBLIC ${ARG_DEPENDS} ${ARG_LINKS})
        target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    else()
        add_library(${name} INTERFACE)
        target_link_libraries(${name} INTERFACE ${ARG_DEPENDS} ${ARG_LINKS})
        target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    endif()
    file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
    list(TRANSFORM ARG_SOURCES PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/)
    set_property(GLOBAL APPEND PROPERTY VELKOR_LAYER_TARGETS ${name})
    set_property(GLOBAL PROPERTY VELKOR_LAYER_${name}_FOLDER ${folder})
    set_property(GLOBAL PROPERTY VELKOR_LAYER_${name}_CORE ${ARG_CORE})
    set_property(GLOBAL PROPERTY VELKOR_LAYER_${name}_LIBRARY TRUE)
    set_property(GLOBAL PROPERTY VELKOR_LAYER_${name}_DEPENDS ${ARG_DEPENDS})
    set_property(GLOBAL PROPERTY VELKOR_LAYER_${name}_LINKS ${ARG_LINKS})
    set_property(GLOBAL PROPERTY VELKOR_LAYER_${name}_FILES ${ARG_SOURCES} ${headers})
endfunction()

function(velkor_generated_header name)
    cmake_parse_arguments(ARG "" "FOLDER;HEADER;CONTENT" "" ${ARGN})
    file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/generated/${ARG_FOLDER}/${ARG_HEADER}
        CONTENT "${ARG_CONTENT}" @ONLY)
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_BINARY_DIR}/generated)
    set_property(GLOBAL APPEND PROPERTY VELKOR_LAYER_TARGETS ${name})
    set_property(GLOBAL PROPERTY VELKOR_LAYER_${name}_FOLDER ${ARG_FOLDER})
    set_property(GLOBAL PROPERTY VELKOR_LAYER_${name}_CORE TRUE)
    set_property(GLOBAL PROPERTY VELKOR_LAYER_${name}_LIBRARY TRUE)
endfunction()

function(velkor_aggregate name)
    cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE ${ARG_DEPENDS})
    set_property(GLOBAL APPEND PROPERTY VELKOR_LAYER_TARGETS ${name})
    set_property(GLOBAL PROPERTY VELKOR_LAYER_${name}_FOLDER "")
    set_property(GLOBAL PROPERTY VELKOR_LAYER_${name}_CORE TRUE)
    set_property(GLOBAL PROPERTY VELKOR_LAYER_${name}_LIBRARY TRUE)
    set_property(GLOBAL PROPERTY VELKOR_LAYER_${name}_DEPENDS ${ARG_DEPENDS})
endfunction()

# Programs land beside each other in the build tree's src/ folder.
function(velkor_program name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
    file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR}/src ${CMAKE_CURRENT_SOURCE_DIR})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_DEPENDS})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/src)
    list(TRANSFORM ARG_SOURCES PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/)
    set_property(GLOBAL APPEND PROPERTY VELKOR_LAYER_TARGETS ${name})
    set_property(GLOBAL PROPERTY VELKOR_LAYER_${name}_FOLDER ${folder})
    set_property(GLOBAL PROPERTY VELKOR_LAYER_${name}_CORE FALSE)
    set_property(GLOBAL PROPERTY VELKOR_LAYER_${name}_LIBRARY FALSE)
    set_property(GLOBAL PROPERTY VELKOR_LAYER_${name}_DEPENDS ${ARG_DEPENDS})
    set_property(GLOBAL PROPERTY VELKOR_LAYER_${name}_FILES ${ARG_SOURCES})
endfunction()

# The folders a target may include from: its own and those of every library
# it builds on, directly or through others.
function(_velkor_reachable_folders name out)
    set(seen "")
    set(queue ${name})
    set(folders "")
    while(queue)
        list(POP_FRONT queue current)
        if(current IN_LIST seen)
            continue()
        endif()
        list(APPEND seen ${current})
        get_property(folder GLOBAL PROPERTY VELKOR_LAYER_${current}_FOLDER)
        get_property(is_library GLOBAL PROPERTY VELKOR_LAYER_${current}_LIBRARY)
        if((is_library OR current STREQUAL name) AND NOT folder STREQUAL "")
            list(APPEND folders ${folder})
        endif()
        get_property(deps GLOBAL PROPERTY VELKOR_LAYER_${current}_DEPENDS)
        list(APPEND queue ${deps})
    endwhile()
    set(${out} ${folders} PARENT_SCOPE)
endfunction()

function(velkor_enforce_layers)
    get_property(targets GLOBAL PROPERTY VELKOR_LAYER_TARGETS)
    set(stamps "")
    foreach(name IN LISTS targets)
        get_property(core GLOBAL PROPERTY VELKOR_LAYER_${name}_CORE)
        get_property(deps GLOBAL PROPERTY VELKOR_LAYER_${name}_DEPENDS)
        get_property(links GLOBAL PROPERTY VELKOR_LAYER_${name}_LINKS)
        get_property(files GLOBAL PROPERTY VELKOR_LAYER_${name}_FILES)
        foreach(dep IN LISTS deps)
            get_property(known GLOBAL PROPERTY VELKOR_LAYER_${dep}_FOLDER SET)
            if(NOT known)
                message(FATAL_ERROR "${name} builds on ${dep}, which is no velkor library")
            endif()
            get_property(dep_core GLOBAL PROPERTY VELKOR_LAYER_${dep}_CORE)
            if(core AND NOT dep_core)
                message(FATAL_ERROR "core library ${name} builds on ${dep}, which is not core")
            endif()
        endforeach()
        if(core)
            foreach(link IN LISTS links)
                if(NOT link STREQUAL "Qt6::Core")
                    message(FATAL_ERROR "core library ${name} links ${link}: core links QtCore only")
                endif()
            endforeach()
        endif()
        if(NOT files)
            continue()
        endif()
        _velkor_reachable_folders(${name} allowed)
        set(list_file ${PROJECT_BINARY_DIR}/layers/${name}.files)
        set(stamp ${PROJECT_BINARY_DIR}/layers/${name}.checked)
        string(REPLACE ";" "\n" file_lines "${files}")
        file(WRITE ${list_file}.tmp "${file_lines}\n")
        file(COPY_FILE ${list_file}.tmp ${list_file} ONLY_IF_DIFFERENT)
        add_custom_command(OUTPUT ${stamp}
            COMMAND ${CMAKE_COMMAND} -DNAME=${name} -DLIST=${list_file}
                    "-DALLOWED=${allowed}" -DCORE=${core} -DSTAMP=${stamp}
                    -P ${VELKOR_LAYER_SCRIPT}
            DEPENDS ${files} ${list_file} ${VELKOR_LAYER_SCRIPT}
            COMMENT "Checking the includes of ${name}"
            VERBATIM)
        list(APPEND stamps ${stamp})
    endforeach()
    add_custom_target(velkor_layers ALL DEPENDS ${stamps})
    foreach(name IN LISTS targets)
        get_target_property(type ${name} TYPE)
        if(NOT type STREQUAL "INTERFACE_LIBRARY")
            add_dependencies(${name} velkor_layers)
        endif()
    endforeach()
endfunction()
