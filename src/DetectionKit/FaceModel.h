#pragma once

#include <cstddef>

namespace DetectionKit::FaceModel {

// The face detection model (a BlazeFace front-camera graph, Apache-2.0, rewritten by the build to
// take screen tiles of any size multiple of 16), carried in the engine module itself so that
// detection never depends on a file that may be missing at run time.
const unsigned char* bytes();
std::size_t size();

} // namespace DetectionKit::FaceModel
