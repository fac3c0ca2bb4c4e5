"""The generator's own arithmetic, where a fault would give wrong truth boxes silently: where a terminal
wraps a line, the measuring colours of neighbouring texts, and the ink box."""
import os
import random
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from common import Data, ink_box  # noqa: E402
from term import Mark, fill, log_lines, place  # noqa: E402
from web import colour_groups  # noqa: E402


class PaintedImage:
    """A white image with some pixels painted, as Image reads them."""

    def __init__(self, width, height, painted):
        self.width, self.height, self.painted = width, height, painted

    def at(self, x, y):
        return self.painted.get((x, y), (255, 255, 255))


def spans_of(pieces_per_line, cols):
    placed, rows = place(pieces_per_line, cols)
    return [spans for _, spans in placed], rows


class TerminalGrid(unittest.TestCase):
    def test_place(self):
        m = lambda text: Mark("item", "email", text)  # noqa: E731
        cases = [
            # (lines, columns, spans of each mark, rows used)
            ([["ab ", m("cd")]], 10, [[(0, 3, "cd")]], 1),
            ([["abcdefgh", m("ijkl")]], 10, [[(0, 8, "ij"), (1, 0, "kl")]], 2),
            # A line exactly as wide as the terminal takes one row: the next starts right below.
            ([["abcdefghij"], [m("x")]], 10, [[(1, 0, "x")]], 2),
            ([[m("abcdefghij")], [m("y")]], 10, [[(0, 0, "abcdefghij")], [(1, 0, "y")]], 2),
            # A mark starting on a continuation row is not cut; an empty line still takes a row.
            ([["abcdefghij", m("kl")], [""], [m("z")]], 10, [[(1, 0, "kl")], [(3, 0, "z")]], 4),
            # Longer than two rows.
            ([["abcdefgh", m("123456789012345")]], 10, [[(0, 8, "12"), (1, 0, "3456789012"), (2, 0, "345")]], 3),
        ]
        for lines, cols, spans, rows in cases:
            with self.subTest(lines=lines):
                self.assertEqual(spans_of(lines, cols), (spans, rows))

    def test_every_planted_cut_is_cut_by_the_edge(self):
        for cols in (100, 118, 132, 150, 171, 200):
            with self.subTest(cols=cols):
                lines = log_lines(Data(random.Random(cols)), cols, 12)
                placed, _ = place(lines, cols)
                cut = [spans for mark, spans in placed if mark.shape == "wrapped address"]
                self.assertEqual(len(cut), 2)
                for spans in cut:
                    self.assertEqual(len(spans), 2)
                    self.assertEqual(spans[0][1] + len(spans[0][2]), cols)
                    self.assertGreaterEqual(min(len(spans[0][2]), len(spans[1][2])), 4)

    def test_fill_makes_the_exact_length(self):
        words = "Your November statement is ready and the revised payment schedule is attached"
        for length in range(1, len(words)):
            text = fill(words, length)
            self.assertEqual(len(text), length, text)
            self.assertNotIn("  ", text)


class MeasuringColours(unittest.TestCase):
    def test_neighbours_never_share_a_colour(self):
        cases = [
            # boxes, pad, groups
            ([[0, 0, 10, 10], [100, 0, 10, 10]], 5, [0, 0]),
            ([[0, 0, 10, 10], [0, 12, 10, 10]], 5, [0, 1]),
            # Just beyond both pads.
            ([[0, 0, 10, 10], [0, 20, 10, 10]], 5, [0, 0]),
            # Lines 12 px apart, each touching the next: two colours alternate.
            ([[0, y, 50, 12] for y in range(0, 60, 12)], 2, [0, 1, 0, 1, 0]),
            # Three that all touch each other and a fourth touching all three.
            ([[0, 0, 10, 10], [5, 0, 10, 10], [0, 5, 10, 10], [5, 5, 10, 10]], 1, [0, 1, 2, 3]),
        ]
        for boxes, pad, groups in cases:
            with self.subTest(boxes=boxes):
                self.assertEqual(colour_groups(boxes, pad), groups)


class InkBox(unittest.TestCase):
    def test_ink_box(self):
        black, grey, faint, border = (0, 0, 0), (140, 140, 140), (200, 200, 200), (90, 90, 90)
        glyphs = {(x, y): black for x in range(5, 9) for y in range(4, 10)}
        cases = [
            # (painted, area, belongs, spill, box)
            (glyphs, (0, 0, 20, 14), None, False, [5, 4, 4, 6]),
            # Anti-aliased edge: 40% of the strongest difference counts (140 is 45%), 200 (22%) does not.
            ({**glyphs, (4, 4): grey, (9, 9): faint}, (0, 0, 20, 14), None, False, [4, 4, 5, 6]),
            # A field's border beside the text is not the text's.
            ({**glyphs, **{(1, y): border for y in range(14)}}, (0, 0, 20, 14), set(glyphs), False, [5, 4, 4, 6]),
            # The row above's descender in the cell's top row, apart from the text: left out with spill.
            ({**glyphs, (6, 0): black}, (0, 0, 20, 14), None, True, [5, 4, 4, 6]),
            ({**glyphs, (6, 0): black}, (0, 0, 20, 14), None, False, [5, 0, 4, 10]),
            # Ink reaching the top row that joins the rest is the text's own.
            ({**glyphs, **{(6, y): black for y in range(4)}}, (0, 0, 20, 14), None, True, [5, 0, 4, 10]),
            # Light text on a dark field: the field's colour is the background.
            ({**{(x, y): (30, 30, 30) for x in range(20) for y in range(14)},
              **{p: (220, 220, 220) for p in glyphs}}, (0, 0, 20, 14), None, False, [5, 4, 4, 6]),
            ({}, (0, 0, 20, 14), None, False, None),
        ]
        for painted, area, belongs, spill, box in cases:
            with self.subTest(box=box, spill=spill):
                self.assertEqual(ink_box(PaintedImage(20, 14, painted), area, belongs, spill), box)


if __name__ == "__main__":
    unittest.main()
