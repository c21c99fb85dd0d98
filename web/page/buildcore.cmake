# cmake -DSOURCE=... -DBINARY=... -DEMCMAKE=... -DIMAGE=... -P buildcore.cmake
# The core for the page, built with em++ in a build folder of its own. It is
# configured when that folder has no cache (the first time, or after it was
# removed) or was configured for another image; otherwise only built, and a
# configured folder reconfigures itself when the sources' CMake files change.
set(cached "")
if(EXISTS "${BINARY}/CMakeCache.txt")
    file(STRINGS "${BINARY}/CMakeCache.txt" cached REGEX "^QEL_WEB_IMAGE:")
endif()
if(NOT cached MATCHES "=${IMAGE}$")
    execute_process(
        COMMAND "${EMCMAKE}" "${CMAKE_COMMAND}" -S "${SOURCE}" -B "${BINARY}" -G Ninja
                -DQEL_CORE_ONLY=ON -DQEL_BUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=Release
                "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" "-DQEL_WEB_IMAGE=${IMAGE}"
        RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "Configuring the core for the page failed")
    endif()
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" --build "${BINARY}" --target qelcore RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "Building the core for the page failed")
endif()
