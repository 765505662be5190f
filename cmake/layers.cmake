# The folders of src/ and tools/ that the layer check knows, and the function that gives a
# library its check. See docs/architecture.md, "Layers".
set(DV_LAYER_FOLDERS game app character models audio motion world render imaging platform input math files
  tools/common tools/level tools/character tools/sound tools/pictures tools/dvtool)

# dv_check_layer(TARGET FOLDER [USES folder...]): before TARGET compiles, every file under
# FOLDER (relative to the source root) may include only FOLDER itself and the folders in USES;
# any other folder of ours fails the build with a line naming both.
function(dv_check_layer target folder)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "" "USES")
  set(dir "${PROJECT_SOURCE_DIR}/${folder}")
  string(REGEX REPLACE "^src/" "" name "${folder}")
  file(GLOB_RECURSE files CONFIGURE_DEPENDS "${dir}/*.h" "${dir}/*.cpp")
  string(REPLACE "/" "_" stampName "${name}")
  set(stamp "${PROJECT_BINARY_DIR}/layers/${stampName}.checked")
  list(JOIN arg_USES "," allowed)
  list(JOIN DV_LAYER_FOLDERS "," known)
  add_custom_command(OUTPUT "${stamp}"
    COMMAND "${CMAKE_COMMAND}" "-DFOLDER=${name}" "-DDIR=${dir}" "-DALLOWED=${allowed}"
            "-DKNOWN=${known}" "-DROOT=${PROJECT_SOURCE_DIR}" "-DSTAMP=${stamp}"
            -P "${PROJECT_SOURCE_DIR}/cmake/check_layer.cmake"
    DEPENDS ${files} "${PROJECT_SOURCE_DIR}/cmake/check_layer.cmake"
    COMMENT "Checking the includes of ${name}/ against the layers"
    VERBATIM)
  add_custom_target(${target}_layer_check DEPENDS "${stamp}")
  add_dependencies(${target} ${target}_layer_check)
endfunction()
