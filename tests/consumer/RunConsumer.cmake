# Installs the library to a temporary prefix, moves the prefix elsewhere (pkg-config must find it wherever it
# lies), and builds the consumer and the examples against it with find_package(VexaQr) and with pkg-config.
# KIND is "static" (the project's own build) or "shared" (a small sub-build of the library alone).
function(run)
    execute_process(COMMAND ${ARGV} RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "failed (${result}): ${ARGV}")
    endif()
endfunction()

file(REMOVE_RECURSE ${WORK})
set(library_build ${PROJECT_BINARY})
if(KIND STREQUAL "shared")
    set(library_build ${WORK}/library)
    run(${CMAKE_COMMAND} -S ${PROJECT_SOURCE} -B ${library_build} -G Ninja -DCMAKE_BUILD_TYPE=Release
        -DBUILD_SHARED_LIBS=ON -DVEXAQR_WERROR=ON -DVEXAQR_BUILD_TESTS=OFF -DVEXAQR_BUILD_TOOLS=OFF -DVEXAQR_BUILD_BENCH=OFF
        -DVEXAQR_BUILD_EXAMPLES=OFF)
    run(${CMAKE_COMMAND} --build ${library_build} --target vexaqr_codec vexaqr)
endif()
run(${CMAKE_COMMAND} --install ${library_build} --prefix ${WORK}/installed)
file(RENAME ${WORK}/installed ${WORK}/moved)
set(prefix ${WORK}/moved)

if(KIND STREQUAL "static")
    # The project's own build installs the programs, which run from the moved tree, and the examples' sources.
    run(${prefix}/bin/vexaqr --version)
    run(${prefix}/bin/vexaqr-devserver --version)
    file(GLOB_RECURSE installed_examples ${prefix}/share/doc/*/examples/account_messages.cpp)
    if(NOT installed_examples)
        message(FATAL_ERROR "the examples' sources are not installed under ${prefix}/share/doc")
    endif()
endif()

if(KIND STREQUAL "shared")
    # Only the public API leaves the shared libraries: the internal units stay hidden.
    foreach(pair vexaqr_codec:scanPictures vexaqr:VexaQrSDK::registerAccount)
        string(REPLACE ":" ";" parts ${pair})
        list(GET parts 0 name)
        list(GET parts 1 expected)
        file(GLOB library ${prefix}/lib*/lib${name}.so ${prefix}/lib*/*/lib${name}.so)
        execute_process(COMMAND nm -D -C --defined-only ${library} OUTPUT_VARIABLE exported RESULT_VARIABLE result)
        if(NOT result EQUAL 0 OR NOT exported MATCHES "vexaqr::${expected}" OR exported MATCHES "vexaqr::rsa::")
            message(FATAL_ERROR "lib${name}.so exports the wrong symbols:\n${exported}")
        endif()
    endforeach()
endif()

# CMake: the consumer and the examples as a host builds them.
run(${CMAKE_COMMAND} -S ${CONSUMER_SOURCE} -B ${WORK}/cmake-consumer -DCMAKE_PREFIX_PATH=${prefix})
run(${CMAKE_COMMAND} --build ${WORK}/cmake-consumer)
run(${WORK}/cmake-consumer/consumer)
run(${CMAKE_COMMAND} -S ${EXAMPLES_SOURCE} -B ${WORK}/cmake-examples -DCMAKE_PREFIX_PATH=${prefix})
run(${CMAKE_COMMAND} --build ${WORK}/cmake-examples)

# A host that only moves bytes links the codec alone: nothing of the account side's libraries.
function(expect_codec_only program)
    execute_process(COMMAND readelf -d ${program} OUTPUT_VARIABLE dynamic RESULT_VARIABLE result)
    if(NOT result EQUAL 0 OR dynamic MATCHES "libcurl|libxml2|libsqlite3|libvexaqr\\.so")
        message(FATAL_ERROR "${program} links more than the codec:\n${dynamic}")
    endif()
    run(${program} ${WORK}/codec-consumer.gif)
endfunction()
run(${CMAKE_COMMAND} -S ${CODEC_CONSUMER_SOURCE} -B ${WORK}/cmake-codec-consumer -DCMAKE_PREFIX_PATH=${prefix})
run(${CMAKE_COMMAND} --build ${WORK}/cmake-codec-consumer)
expect_codec_only(${WORK}/cmake-codec-consumer/codec-consumer)

# pkg-config: compiler flags and libraries from the moved .pc file alone.
file(GLOB_RECURSE pc_file ${prefix}/vexaqr.pc)
get_filename_component(pc_dir ${pc_file} DIRECTORY)
set(ENV{PKG_CONFIG_PATH} ${pc_dir})
set(static_flag)
if(KIND STREQUAL "static")
    set(static_flag --static)
endif()
execute_process(COMMAND pkg-config --cflags --libs ${static_flag} vexaqr OUTPUT_VARIABLE flags
    OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE result)
execute_process(COMMAND pkg-config --variable=libdir vexaqr OUTPUT_VARIABLE libdir OUTPUT_STRIP_TRAILING_WHITESPACE)
string(FIND "${flags}" "-I${prefix}/" inside_prefix)
if(NOT result EQUAL 0 OR inside_prefix EQUAL -1)
    message(FATAL_ERROR "pkg-config does not find the moved prefix: ${flags}")
endif()
separate_arguments(flags UNIX_COMMAND "${flags}")
foreach(program consumer:${CONSUMER_SOURCE}/main.cpp file-to-gif:${EXAMPLES_SOURCE}/file_to_gif.cpp
        pictures-to-record:${EXAMPLES_SOURCE}/pictures_to_record.cpp
        account-messages:${EXAMPLES_SOURCE}/account_messages.cpp)
    string(REPLACE ":" ";" parts ${program})
    list(GET parts 0 name)
    list(GET parts 1 source)
    run(c++ -std=c++20 ${source} -o ${WORK}/pkg-${name} ${flags} -Wl,-rpath,${libdir})
endforeach()
run(${WORK}/pkg-consumer)
execute_process(COMMAND pkg-config --cflags --libs ${static_flag} vexaqr-codec OUTPUT_VARIABLE codec_flags
    OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE result)
if(NOT result EQUAL 0 OR codec_flags MATCHES "curl|xml2|sqlite3|-lvexaqr( |$)")
    message(FATAL_ERROR "pkg-config gives the codec more than its own libraries: ${codec_flags}")
endif()
separate_arguments(codec_flags UNIX_COMMAND "${codec_flags}")
run(c++ -std=c++20 ${CODEC_CONSUMER_SOURCE}/main.cpp -o ${WORK}/pkg-codec-consumer ${codec_flags}
    -Wl,-rpath,${libdir})
expect_codec_only(${WORK}/pkg-codec-consumer)
run(${WORK}/pkg-file-to-gif ${CONSUMER_SOURCE}/main.cpp ${WORK}/main.gif)
