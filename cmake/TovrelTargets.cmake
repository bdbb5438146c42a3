# Helpers shared by every folder: our own targets get the warnings and sanitizer flags,
# third-party code does not.

set(TOVREL_SANITIZER_FLAGS "")
if(TOVREL_SANITIZE)
    # GCC leaves float-cast-overflow out of "undefined": a float too large for its integer type
    # is as undefined as any other overflow, so it is asked for by name.
    set(TOVREL_SANITIZER_FLAGS -fsanitize=address,undefined,float-cast-overflow
        -fno-omit-frame-pointer -fno-sanitize-recover=undefined,float-cast-overflow)
elseif(TOVREL_TSAN)
    set(TOVREL_SANITIZER_FLAGS -fsanitize=thread -fno-omit-frame-pointer)
endif()
if(TOVREL_SANITIZER_FLAGS)
    add_compile_options(${TOVREL_SANITIZER_FLAGS})
    add_link_options(${TOVREL_SANITIZER_FLAGS})
    # The sanitizer builds are release builds with NDEBUG; a class called from a thread its header
    # does not allow is still caught there.
    add_compile_definitions(TOVREL_CHECK_THREADS)
endif()

# A user's or a packager's build must not stop on a new compiler's warning; the project's own test
# build turns warnings into errors (scripts/test.sh sets TOVREL_WERROR).
function(tovrel_target_defaults target)
    target_compile_options(${target} PRIVATE -Wall -Wextra)
    if(TOVREL_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
    # GCC's flow analysis sees through the sanitizers' instrumentation poorly and reports
    # uninitialised reads inside the standard library (std::regex, std::function) that are not
    # there; the plain build keeps the warning.
    if(TOVREL_SANITIZER_FLAGS AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
        target_compile_options(${target} PRIVATE -Wno-maybe-uninitialized)
    endif()
endfunction()

# A library shows its users its own headers and nothing else, under the names the sources use
# ("platform/media/sample.h"): each library gets a staging folder of links to the headers of its
# own folder. A file that includes a header of a library its target does not link then fails to
# compile, so the layers hold by construction rather than by review.
# tovrel_export_headers(target PUBLIC|INTERFACE [HEADERS file ...]); the default is every .h of the
# calling folder (sub-folders are libraries of their own).
function(tovrel_export_headers target scope)
    cmake_parse_arguments(ARG "" "" "HEADERS" ${ARGN})
    if(NOT ARG_HEADERS)
        file(GLOB ARG_HEADERS CONFIGURE_DEPENDS RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}
             ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
    endif()
    file(RELATIVE_PATH rel ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
    set(stage ${PROJECT_BINARY_DIR}/include/${target})
    file(REMOVE_RECURSE ${stage})
    file(MAKE_DIRECTORY ${stage}/${rel})
    foreach(header IN LISTS ARG_HEADERS)
        file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR}/${header} ${stage}/${rel}/${header} SYMBOLIC)
    endforeach()
    target_include_directories(${target} ${scope} ${stage})
    set_property(GLOBAL APPEND PROPERTY TOVREL_LIBRARIES ${target})
    set_property(TARGET ${target} PROPERTY TOVREL_FOLDER ${rel})
endfunction()

# tovrel_library(name SOURCES ... [PUBLIC_LIBS ...] [PRIVATE_LIBS ...])
function(tovrel_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    tovrel_export_headers(${name} PUBLIC)
    target_link_libraries(${name} PUBLIC ${ARG_PUBLIC_LIBS} PRIVATE ${ARG_PRIVATE_LIBS})
    tovrel_target_defaults(${name})
endfunction()

# Writes, for the layer check, each of our libraries with its folder and the libraries it links.
function(tovrel_write_link_table file)
    get_property(libraries GLOBAL PROPERTY TOVREL_LIBRARIES)
    set(lines "")
    foreach(lib IN LISTS libraries)
        get_target_property(folder ${lib} TOVREL_FOLDER)
        get_target_property(type ${lib} TYPE)
        if(type STREQUAL "INTERFACE_LIBRARY")
            get_target_property(links ${lib} INTERFACE_LINK_LIBRARIES)
        else()
            get_target_property(links ${lib} LINK_LIBRARIES)
        endif()
        if(NOT links)
            set(links "")
        endif()
        string(APPEND lines "${lib} ${folder} ${links}\n")
    endforeach()
    file(WRITE ${file} "${lines}")
endfunction()

# tovrel_test(name LABEL unit|integration|gui SOURCES ... LIBS ... [ENVIRONMENT k=v ...] [QT]
#             [RESOURCE_LOCK name])
# Tests are discovered when CTest runs, so discovery sees the components the test script started.
# QT: the test's main() creates a QApplication first (tests/support/qt_test_main.cpp).
function(tovrel_test name)
    # SERIAL: the test measures real time (a real-time source into a real encoder), so it runs
    # with no other test beside it.
    cmake_parse_arguments(ARG "QT;SERIAL" "LABEL;TIMEOUT;RESOURCE_LOCK" "SOURCES;LIBS;ENVIRONMENT"
                          ${ARGN})
    if(NOT ARG_LABEL)
        set(ARG_LABEL unit)
    endif()
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()
    add_executable(${name} ${ARG_SOURCES})
    if(ARG_LABEL STREQUAL "unit")
        set_property(GLOBAL APPEND PROPERTY TOVREL_UNIT_TEST_TARGETS ${name})
    endif()
    if(ARG_QT)
        target_link_libraries(${name} PRIVATE ${ARG_LIBS} tovrel_qt_test_main GTest::gtest GTest::gmock)
    else()
        target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
    endif()
    tovrel_target_defaults(${name})
    # Only gui tests talk to the display; the rest draw off-screen so they never depend on it.
    if(NOT ARG_LABEL STREQUAL "gui")
        list(APPEND ARG_ENVIRONMENT QT_QPA_PLATFORM=offscreen)
    endif()
    # Each property only when it has a value: an empty ENVIRONMENT would vanish from the list
    # and take the next property's name as its value (a gui test's RESOURCE_LOCK did).
    set(extra_properties "")
    if(ARG_ENVIRONMENT)
        list(APPEND extra_properties ENVIRONMENT "${ARG_ENVIRONMENT}")
    endif()
    if(ARG_RESOURCE_LOCK)
        list(APPEND extra_properties RESOURCE_LOCK ${ARG_RESOURCE_LOCK})
    endif()
    if(ARG_SERIAL)
        list(APPEND extra_properties RUN_SERIAL TRUE)
    endif()
    gtest_discover_tests(${name}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 30
        PROPERTIES LABELS ${ARG_LABEL} TIMEOUT ${ARG_TIMEOUT} ${extra_properties})
endfunction()

# Adds every immediate sub-folder that has a CMakeLists.txt, so a new folder joins the build
# without touching its parent.
function(tovrel_add_subfolders)
    file(GLOB children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}
         ${CMAKE_CURRENT_SOURCE_DIR}/*)
    list(SORT children)
    foreach(child IN LISTS children)
        if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${child}
           AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
            add_subdirectory(${child})
        endif()
    endforeach()
endfunction()
