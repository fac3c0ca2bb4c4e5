#pragma once

#include "DetectionKit/LineAssembly.h"
#include "DetectionKit/ScreenTextRegions.h"

#include "Support/Geometry.h"

#include <opencv2/core.hpp>

#include <vector>

// Words on one baseline, a word space apart, are one line of text, however the regions were cut.
namespace DetectionKit::BaselineJoin {

// The sides of a bordered field or cell that a region took in with the text beside them: thin
// runs of ink at the region's left or right end, much taller than its text and apart from it, are
// cut off, and the region is narrowed to the rows its text covers. A region with nothing left once
// they are cut (two borders side by side) is kept as it is.
void cutSideBorders(const cv::Mat& bgr, std::vector<ScreenTextRegions::Region>& regions);

// The lines read in each region (in the regions' order), made one list in that order, with lines
// of different regions joined where they sit on one baseline: about the same text height,
// baselines a small part of it apart, and a gap between them no wider than a word space. Their
// texts are joined with one space; the joined line takes the place of its first part. Lines are
// never joined across a blank (image pixels), nor across ink in the gap (a field's border, a
// table's rule), nor when either region read more than one line.
std::vector<LineAssembly::PixelLine> join(const cv::Mat& bgr, std::vector<std::vector<LineAssembly::PixelLine>> regionLines,
                                          const std::vector<Support::Rect>& blanks);

} // namespace DetectionKit::BaselineJoin
