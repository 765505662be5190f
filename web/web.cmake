# The browser build (emcmake cmake): the game only, on WebGL 2, the browser's OpenAL and
# stb_image, with the demo content of a native build folder packed beside the page. Tools,
# tests and content builders stay native; see scripts/web.sh.
set(DV_WEB_DATA "${PROJECT_SOURCE_DIR}/build" CACHE PATH "native build folder whose generated content is packed")
set(DV_STB_INCLUDE "/usr/include/stb" CACHE PATH "folder of stb_image.h (Debian's libstb-dev)")
if(NOT EXISTS "${DV_WEB_DATA}/test.lev")
  message(FATAL_ERROR "${DV_WEB_DATA}/test.lev: no generated content; build the native game first (scripts/web.sh does)")
endif()
if(NOT EXISTS "${DV_STB_INCLUDE}/stb_image.h")
  message(FATAL_ERROR "${DV_STB_INCLUDE}/stb_image.h not found; install libstb-dev")
endif()

# The engine's libraries, a folder each, with the browser's modules (src/CMakeLists.txt).
add_subdirectory(src)
add_executable(dedivirede src/game/main.cpp)
set_target_properties(dedivirede PROPERTIES OUTPUT_NAME index SUFFIX ".html")
target_compile_definitions(dedivirede PRIVATE DV_VERSION="${PROJECT_VERSION}")
target_link_libraries(dedivirede PRIVATE dv_app)

# The content the game reads, copied from the native build into one folder packed as /data,
# and the replays of tests/data packed as /replays.
set(DV_WEB_STAGE "${CMAKE_BINARY_DIR}/data")
# Every level the native build compiled, with its lightmaps, sound sidecar and card.
file(GLOB DV_WEB_LEVELS CONFIGURE_DEPENDS "${DV_WEB_DATA}/*.lev" "${DV_WEB_DATA}/*.snd" "${DV_WEB_DATA}/*_lm*.bmp"
  "${DV_WEB_DATA}/card_*.jpg")
file(GLOB DV_WEB_SOUNDS "${DV_WEB_DATA}/sounds/*")
file(GLOB DV_WEB_REPLAYS "${PROJECT_SOURCE_DIR}/tests/data/replays/*.replay" "${PROJECT_SOURCE_DIR}/tests/data/replays/*.rep")
set(DV_WEB_REPLAY_STAGE "${CMAKE_BINARY_DIR}/replays")
set(DV_WEB_FILES levels.txt font01.fnx title1.jpg title2.jpg set.txt)
list(TRANSFORM DV_WEB_FILES PREPEND "${DV_WEB_DATA}/")
add_custom_command(OUTPUT "${DV_WEB_STAGE}/test.lev"
  COMMAND ${CMAKE_COMMAND} -E rm -rf "${DV_WEB_STAGE}"
  COMMAND ${CMAKE_COMMAND} -E make_directory "${DV_WEB_STAGE}/sounds"
  COMMAND ${CMAKE_COMMAND} -E copy ${DV_WEB_FILES} ${DV_WEB_LEVELS} "${DV_WEB_STAGE}"
  COMMAND ${CMAKE_COMMAND} -E copy ${DV_WEB_SOUNDS} "${DV_WEB_STAGE}/sounds"
  COMMAND ${CMAKE_COMMAND} -E rm -rf "${DV_WEB_REPLAY_STAGE}"
  COMMAND ${CMAKE_COMMAND} -E make_directory "${DV_WEB_REPLAY_STAGE}"
  COMMAND ${CMAKE_COMMAND} -E copy ${DV_WEB_REPLAYS} "${DV_WEB_REPLAY_STAGE}"
  DEPENDS ${DV_WEB_FILES} ${DV_WEB_LEVELS} ${DV_WEB_SOUNDS} ${DV_WEB_REPLAYS}
  COMMENT "Staging the game's content for the page")
add_custom_target(dv_web_data DEPENDS "${DV_WEB_STAGE}/test.lev")
add_dependencies(dedivirede dv_web_data)

set(DV_WEB_PAGE "${PROJECT_SOURCE_DIR}/web")
target_link_options(dedivirede PRIVATE
  -fexceptions
  -sMIN_WEBGL_VERSION=2 -sMAX_WEBGL_VERSION=2
  -sALLOW_MEMORY_GROWTH=1 -sINITIAL_MEMORY=64MB
  # exit() (a bad option, a fatal message) ends the runtime and calls the page's Module.onExit.
  -sEXIT_RUNTIME=1
  -sENVIRONMENT=web
  # Debian's emscripten calls its HTML minifier with a list argument and fails: the page
  # is small and goes out as written.
  -sMINIFY_HTML=0
  "-sEXPORTED_RUNTIME_METHODS=['FS']"
  -lopenal
  "SHELL:--preload-file ${DV_WEB_STAGE}@/data"
  "SHELL:--preload-file ${DV_WEB_REPLAY_STAGE}@/replays"
  "SHELL:--shell-file ${DV_WEB_PAGE}/shell.html"
  "SHELL:--pre-js ${DV_WEB_PAGE}/pre.js")
set_property(TARGET dedivirede APPEND PROPERTY LINK_DEPENDS "${DV_WEB_PAGE}/shell.html" "${DV_WEB_PAGE}/pre.js")
