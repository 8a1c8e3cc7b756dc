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
import subprocess
import sys
import time

from kestra_e2e import (BUTTON_ANALYZE, BUTTON_EXIT, BUTTON_OPEN, BUTTON_SAVE,
                        BUTTON_START_STOP, DPI, PICTURE_ORIGIN, Desktop, parse_options,
                        check_saved, expected_row, heads, is_leaf_around, leaf_pixel_count,
                        slider_handle, steps_to, wait_for_file)

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
    subprocess.run([options.leafscan, scan_path], check=True, timeout=120)
    scan = leaf_pixel_count(scan_path)
    points = {}
    for landmark, zoom, x, y in CLICKS:
        points[landmark] = (x * 100 // zoom, y * 100 // zoom)
        # A marker drawn on the leaf itself leaves the leaf count as it was.
        assert is_leaf_around(scan, *points[landmark]), (landmark, points[landmark])

    with Desktop() as desktop:
        program = desktop.start(options.kestra)
        desktop.wait_window("^KESTRA v2.04$")
        time.sleep(1.0)
        desktop.click(*BUTTON_OPEN)
        desktop.type_into_dialog("^Open$", scan_path)
        desktop.wait_window("^KESTRA v2.04 - ")
        time.sleep(0.5)

        desktop.type_dpi(DPI)
        desktop.click(*BUTTON_START_STOP)
        desktop.click(*BUTTON_START_STOP)

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
        desktop.click(*BUTTON_SAVE)
        desktop.type_into_dialog("^Save As$", results_path)
        wait_for_file(results_path)
        desktop.screenshot(os.path.join(options.work, "after-save.png"))
        desktop.click(*BUTTON_EXIT)
        exit_code = program.wait(timeout=30)

    expected = [heads(), expected_row(points, scan[0], "leaf01.bmp")]
    if not check_saved(results_path, expected):
        return 1
    assert exit_code == 0, exit_code
    return 0


if __name__ == "__main__":
    sys.exit(main())
