#!/usr/bin/env python3
"""The fast path, end to end: three scans of a folder measured with "Step on
after each click", every landmark placed, through the real window.

Each leaf must take at most 36 input events: two Start/Stop presses, 32
clicks and one key that analyses and opens the next scan (which is also the
key that reached it). The same leaves are then measured again with the mode
off (31 F8 presses more each), and the two saved files must be equal to the
byte, and equal to the rows computed here from the scans.
"""
import os
import pathlib
import shutil
import subprocess
import sys
import time

from kestra_e2e import (BUTTON_START_STOP, DPI, LABEL_DPI, PICTURE_ORIGIN, Desktop,
                        check_saved, expected_row, heads, is_leaf_around, leaf_pixel_count,
                        parse_options, wait_for_file)

SCANS = ["leaf1.bmp", "leaf2.bmp", "leaf3.bmp"]
ZOOM = 25  # the whole leaf shows at once
MOST_EVENTS_A_LEAF = 36


def landmark_places(scan):
    """32 display positions at 25 % whose picture pixels lie well inside the leaf."""
    places = []
    for dy in range(40, 560, 37):
        for dx in range(60, 600, 41):
            x, y = dx * 100 // ZOOM, dy * 100 // ZOOM
            if is_leaf_around(scan, x, y):
                places.append((dx, dy))
    assert len(places) >= 32, len(places)
    return places[:32]


class CountingDesktop(Desktop):
    """Counts the input events a user would make: clicks and key presses."""

    def __init__(self):
        super().__init__()
        self.events = 0

    def click(self, x, y):
        self.events += 1
        super().click(x, y)

    def key(self, *keys):
        self.events += len(keys)
        super().key(*keys)


def measure(options, results_path, step_on, places):
    """Measures every scan of the folder and saves; returns the events each leaf took."""
    per_leaf = []
    with CountingDesktop() as desktop:
        program = desktop.start(options.kestra)
        desktop.wait_window("^KESTRA v2.04$")
        time.sleep(1.0)
        # Setting up the session: the DPI, the zoom, the mode and the first scan.
        desktop.type_dpi(DPI)
        desktop.key("ctrl+minus", "ctrl+minus", "ctrl+minus")
        if step_on:
            desktop.key("F9")
        desktop.key("ctrl+o")
        desktop.type_into_dialog("^Open$", os.path.join(options.work, "scans", SCANS[0]))
        desktop.wait_window("^KESTRA v2.04 - .*%s$" % SCANS[0])
        time.sleep(0.5)
        # Without a window manager nothing makes the window active again once
        # a dialog has gone, and shortcuts need it active: a click does.
        desktop.click(*LABEL_DPI)

        for number, name in enumerate(SCANS):
            desktop.events = 0
            desktop.click(*BUTTON_START_STOP)
            desktop.click(*BUTTON_START_STOP)
            for landmark, (dx, dy) in enumerate(places, start=1):
                desktop.click(PICTURE_ORIGIN[0] + dx, PICTURE_ORIGIN[1] + dy)
                if not step_on and landmark < 32:
                    desktop.key("F8")
            desktop.key("ctrl+shift+Return")
            if number + 1 < len(SCANS):
                desktop.wait_window("^KESTRA v2.04 - .*%s$" % SCANS[number + 1])
            per_leaf.append(desktop.events)

        desktop.key("ctrl+s")
        desktop.type_into_dialog("^Save As$", results_path)
        wait_for_file(results_path)
        desktop.screenshot(results_path + ".png")
        desktop.click(*LABEL_DPI)  # active again, as above
        desktop.key("ctrl+q")
        assert program.wait(timeout=30) == 0
    return per_leaf


def main():
    options = parse_options()
    scans = os.path.join(options.work, "scans")
    first = os.path.join(scans, SCANS[0])
    subprocess.run([options.leafscan, first], check=True, timeout=120)
    for name in SCANS[1:]:
        shutil.copyfile(first, os.path.join(scans, name))
    scan = leaf_pixel_count(first)
    places = landmark_places(scan)

    fast = os.path.join(options.work, "step-on.txt")
    slow = os.path.join(options.work, "step-off.txt")
    fast_events = measure(options, fast, True, places)
    slow_events = measure(options, slow, False, places)
    print("input events a leaf: %s with the mode on, %s with it off" % (fast_events, slow_events))
    assert all(events <= MOST_EVENTS_A_LEAF for events in fast_events), fast_events

    points = {n: (dx * 100 // ZOOM, dy * 100 // ZOOM) for n, (dx, dy) in enumerate(places, 1)}
    expected = [heads()] + [expected_row(points, scan[0], name, number)
                            for number, name in enumerate(SCANS, start=1)]
    same = pathlib.Path(fast).read_bytes() == pathlib.Path(slow).read_bytes()
    if not same:
        print("the files saved with the mode on and off differ")
    if not (check_saved(fast, expected) and same):
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
