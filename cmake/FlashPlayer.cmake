# The Flash player (Ruffle) that the program serves to its pages. Its exact version and
# checksum stand in third_party/ruffle/package-lock.json; `npm ci` fetches it from the npm
# registry and refuses a package whose checksum differs. Only the files the player needs
# are copied into ${NUV_FLASH_PLAYER_DIR}, where the programs of the build tree find it.
# Without npm or the registry the build goes on and the programs run without playback.
set(NUV_FLASH_PLAYER_DIR "${CMAKE_BINARY_DIR}/data/ruffle")
set(_nuv_player_src "${PROJECT_SOURCE_DIR}/third_party/ruffle")
set(_nuv_player_work "${CMAKE_BINARY_DIR}/third_party/ruffle")
set(_nuv_player_stamp "${NUV_FLASH_PLAYER_DIR}/.lock-sha256")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
    "${_nuv_player_src}/package.json" "${_nuv_player_src}/package-lock.json")

file(SHA256 "${_nuv_player_src}/package-lock.json" _nuv_player_lock)
set(_nuv_player_have "")
if(EXISTS "${_nuv_player_stamp}")
    file(READ "${_nuv_player_stamp}" _nuv_player_have)
endif()

if(NOT _nuv_player_have STREQUAL _nuv_player_lock)
    file(REMOVE_RECURSE "${NUV_FLASH_PLAYER_DIR}")
    find_program(NUV_NPM npm)
    if(NOT NUV_NPM)
        message(WARNING "npm not found: the programs are built without Flash playback.")
    else()
        file(MAKE_DIRECTORY "${_nuv_player_work}")
        file(COPY "${_nuv_player_src}/package.json" "${_nuv_player_src}/package-lock.json"
             DESTINATION "${_nuv_player_work}")
        message(STATUS "Fetching the Flash player with npm ci")
        execute_process(
            COMMAND "${NUV_NPM}" ci --ignore-scripts --no-audit --no-fund --fetch-retries=1 --loglevel=error
            WORKING_DIRECTORY "${_nuv_player_work}"
            RESULT_VARIABLE _nuv_npm_result
            OUTPUT_QUIET)
        set(_nuv_pkg "${_nuv_player_work}/node_modules/@ruffle-rs/ruffle")
        if(NOT _nuv_npm_result EQUAL 0 OR NOT EXISTS "${_nuv_pkg}/ruffle.js")
            message(WARNING "The Flash player could not be fetched (npm ci: ${_nuv_npm_result}): "
                            "the programs are built without Flash playback.")
        else()
            # The loader, its chunks, the WebAssembly cores, the version and the licences:
            # no source maps, no read-me.
            file(GLOB _nuv_player_files "${_nuv_pkg}/*.js" "${_nuv_pkg}/*.wasm"
                 "${_nuv_pkg}/LICENSE_*" "${_nuv_pkg}/package.json")
            file(MAKE_DIRECTORY "${NUV_FLASH_PLAYER_DIR}")
            file(COPY ${_nuv_player_files} DESTINATION "${NUV_FLASH_PLAYER_DIR}")
            file(WRITE "${_nuv_player_stamp}" "${_nuv_player_lock}")
            message(STATUS "Flash player installed into ${NUV_FLASH_PLAYER_DIR}")
        endif()
    endif()
endif()
