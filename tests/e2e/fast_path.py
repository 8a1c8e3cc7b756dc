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
import sys

from kestra_e2e import (DPI, PICTURE_ORIGIN, Desktop, check_saved, draw_scan, expected_row, heads,
                        is_leaf_around, parse_options)

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
        desktop.launch(options.kestra)
        # Setting up the session: the DPI, the zoom, the mode and the first scan.
        desktop.type_dpi(DPI)
        desktop.key("ctrl+minus", "ctrl+minus", "ctrl+minus")
        if step_on:
            desktop.key("F9")
        desktop.open_scan(os.path.join(options.work, "scans", SCANS[0]), by_key=True)
        desktop.activate()

        for number, name in enumerate(SCANS):
            desktop.events = 0
            desktop.start_recording()
            for landmark, (dx, dy) in enumerate(places, start=1):
                desktop.click(PICTURE_ORIGIN[0] + dx, PICTURE_ORIGIN[1] + dy)
                if not step_on and landmark < 32:
                    desktop.key("F8")
            desktop.key("ctrl+shift+Return")
            if number + 1 < len(SCANS):
                desktop.wait_window("^KESTRA v2.04 - .*%s$" % SCANS[number + 1])
            per_leaf.append(desktop.events)

        desktop.save_results(results_path, results_path + ".png", by_key=True)
        assert desktop.quit(by_key=True) == 0
    return per_leaf


def main():
    options = parse_options()
    scans = os.path.join(options.work, "scans")
    first = os.path.join(scans, SCANS[0])
    scan = draw_scan(options.leafscan, first, *(os.path.join(scans, name) for name in SCANS[1:]))
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
