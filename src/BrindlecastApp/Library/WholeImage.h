#pragma once

class QIODevice;

namespace BrindlecastApp {

// A PNG file whose writing never finished: it starts as a PNG but its chunks run out before the
// end chunk, so its header reads while its pixels do not decode. Files of other formats are not
// judged here. The check costs a few reads whatever the file's size: a file whose last bytes are
// not the end chunk is walked chunk by chunk for at most a working copy's count of chunks, and
// counts as cut short past that or at the first chunk that is no chunk at all (the zeros of a
// hole in a sparse file). `file` is an open, seekable device; where it stands afterwards is not said.
bool isCutShortPNG(QIODevice& file);

} // namespace BrindlecastApp
