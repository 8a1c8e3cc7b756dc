#!/usr/bin/env python3
"""The typical run of KESTRA, end to end.

Starts the real program under Xvfb on a screen of 1184 x 883 (no window
manager, so the window fills the screen: its menu bar, and below it the client
area of 1184 x 863 where every control stands at its layout position), opens a
leaf scan through the dialog, types the DPI, places landmarks at 100 % and at 50 % zoom with F8 between them, analyses
and saves; then checks the saved file to the byte against values computed here
from the scan itself.
"""
import os
import sys

from kestra_e2e import (BUTTON_ANALYZE, DPI, PICTURE_ORIGIN, Desktop, draw_scan, expected_row,
                        finish, heads, is_leaf_around, parse_options, slider_handle, steps_to)

# (landmark, zoom percent, display x, display y) in the order they are placed.
CLICKS = [
    (1, 100, 850, 420),
    (2, 100, 800, 520),
    (3, 100, 900, 250),
    (20, 50, 500, 100),
    (5, 50, 300, 450),
]


def main():
    options = parse_options()
    scan_path = os.path.join(options.work, "scans", "leaf01.bmp")
    results_path = os.path.join(options.work, "results.txt")
    scan = draw_scan(options.leafscan, scan_path)
    points = {}
    for landmark, zoom, x, y in CLICKS:
        points[landmark] = (x * 100 // zoom, y * 100 // zoom)
        # A marker drawn on the leaf itself leaves the leaf count as it was.
        assert is_leaf_around(scan, *points[landmark]), (landmark, points[landmark])

    with Desktop() as desktop:
        desktop.launch(options.kestra)
        desktop.open_scan(scan_path)
        desktop.type_dpi(DPI)
        desktop.start_recording()

        zoom = 100
        for number, (landmark, wanted_zoom, x, y) in enumerate(CLICKS):
            if wanted_zoom != zoom:
                # A click on the handle focuses the slider without moving it;
                # the arrow keys then step it one zoom level at a time.
                desktop.click(*slider_handle(3))
                for _ in range((zoom - wanted_zoom) // 25):
                    desktop.key("Left")
                zoom = wanted_zoom
            desktop.click(PICTURE_ORIGIN[0] + x, PICTURE_ORIGIN[1] + y)
            if number + 1 < len(CLICKS):
                for _ in range(steps_to(landmark, CLICKS[number + 1][0])):
                    desktop.key("F8")
        desktop.screenshot(os.path.join(options.work, "after-landmarks.png"))

        desktop.click(*BUTTON_ANALYZE)
        desktop.save_results(results_path, os.path.join(options.work, "after-save.png"))
        exit_code = desktop.quit()

    return finish(results_path, [heads(), expected_row(points, scan[0], "leaf01.bmp")], exit_code)


if __name__ == "__main__":
    sys.exit(main())
