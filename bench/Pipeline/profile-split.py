#!/usr/bin/env python3
"""Splits the samples of `perf script` (recorded with call stacks) into the stages of a capture.

Each sample goes to the first stage, in the order below, that one of its frames belongs to: work
on the desktop-less companion counts as the companion's, whatever it calls. Samples of the
kernel are counted in their stage and, as a share, on their own line.

  perf script -i perf.data | profile-split.py
"""
import collections
import re
import sys

STAGES = [
    ("companion", re.compile(r"prepareCompanion|companionDetection|Companion")),
    ("encoding", re.compile(r"Exporter::encode|png_|deflate|zlib|QPngHandler|QImageWriter")),
    ("text regions", re.compile(r"ScreenTextRegions|TextRegion")),
    ("recognition", re.compile(r"tesseract|Tesseract|libtesseract|libleptonica|LineAssembly|PIIDetector::findings|IcuRegex|libicu")),
    ("face search", re.compile(r"NeuralFaceDetector|FaceCandidates|cv::dnn|libopencv_dnn|FaceDetector")),
    ("thumbnail", re.compile(r"FloatingThumbnail")),
    ("editor paint", re.compile(r"ReviewCanvasView|CanvasRenderer|EditorCanvasStage|QWidget::repaint|QWidgetRepaintManager|QBackingStore")),
    ("capture", re.compile(r"CaptureKit|CaptureService|X11|xcb_|libxcb")),
    ("rendering", re.compile(r"Exporter::redact|RedactionPattern|applyWatermark|renderWorkingCopy|QPainter|qt_blend|QRasterPaintEngine|convertToFormat|QImage::|Editor|Review")),
    # OpenCV's worker threads, whose stacks do not tell who asked (text regions or faces).
    ("opencv workers", re.compile(r"libopencv")),
    ("engine start", re.compile(r"EngineModule|IdleEngineKeeper|makeTextRecognizer|makeFaceDetector|dlopen|_dl_")),
]


def stage_of(frames):
    for name, pattern in STAGES:
        if any(pattern.search(frame) for frame in frames):
            return name
    return "other"


def samples(lines):
    """(frames, in kernel) per sample; a sample is a header line and its indented frames."""
    frames, kernel, started = [], False, False
    for line in lines:
        if not line.strip():
            if started:
                yield frames, kernel
            frames, kernel, started = [], False, False
            continue
        if not line[0].isspace():
            started = True
            continue
        parts = line.strip().split(None, 1)
        frame = parts[1] if len(parts) > 1 else ""
        if not frames and "[kernel.kallsyms]" in frame:
            kernel = True
        frames.append(frame)
    if started:
        yield frames, kernel


def main():
    counts, kernel_counts = collections.Counter(), collections.Counter()
    total = 0
    for frames, kernel in samples(sys.stdin):
        stage = stage_of(frames)
        counts[stage] += 1
        kernel_counts[stage] += kernel
        total += 1
    if not total:
        raise SystemExit("no samples")
    for name in [s for s, _ in STAGES] + ["other"]:
        if counts[name]:
            print(f"  {name:<14} {100 * counts[name] / total:5.1f} %  ({counts[name]} samples, "
                  f"{100 * kernel_counts[name] / counts[name]:.0f} % of them in the kernel)")
    print(f"  {'in the kernel':<14} {100 * sum(kernel_counts.values()) / total:5.1f} %  of {total} samples")


if __name__ == "__main__":
    main()
