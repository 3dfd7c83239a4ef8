# The program's version: project(VERSION) plus, in a git checkout, the commit it was built from, in a
# form Debian accepts as an upstream version (a leading digit; letters, digits, '.', '+', '~'):
# 1.0.0+git.d645de8, with ".dirty" when the tree had changes. Also the time of that commit
# (RMZ47_SOURCE_EPOCH), the date the package documents carry, so that two builds of one commit agree.
# Both are read at configure time: scripts/package.sh configures afresh before every package.
set(RMZ47_VERSION ${PROJECT_VERSION})
set(RMZ47_SOURCE_EPOCH "")
find_package(Git QUIET)
if(GIT_FOUND)
    execute_process(COMMAND ${GIT_EXECUTABLE} describe --always --dirty=.dirty
                    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} RESULT_VARIABLE described
                    OUTPUT_VARIABLE describe OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(described EQUAL 0 AND describe)
        # A tag name may bring '-' or '_' (and '-' would end the upstream version for Debian).
        string(REGEX REPLACE "[^A-Za-z0-9.~]" "." describe "${describe}")
        string(APPEND RMZ47_VERSION "+git.${describe}")
        execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                        OUTPUT_VARIABLE RMZ47_SOURCE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    endif()
endif()
message(STATUS "rmz47 version ${RMZ47_VERSION}")

configure_file(${CMAKE_CURRENT_LIST_DIR}/Version.h.in ${PROJECT_BINARY_DIR}/generated/Version.h @ONLY)
add_library(rmz_version INTERFACE)
target_include_directories(rmz_version INTERFACE ${PROJECT_BINARY_DIR}/generated)
