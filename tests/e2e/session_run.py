#!/usr/bin/env python3
"""A measuring session through the keyboard, end to end.

Opens a scan with Ctrl+O, records landmarks with F8, F7 and a click on the
coordinates list, analyses with Ctrl+Return, goes on to the next scan of the
folder with Ctrl+PgDown, measures and analyses it too, saves the landmarks as
TPS with Ctrl+Shift+S, goes back to the first scan with Ctrl+PgUp, loads its
landmarks with Ctrl+L and analyses again, saves with Ctrl+S and leaves with
Ctrl+Q; then checks the saved file to the byte against values computed here
from the scans: the third row is the first one again.
"""
import os
import pathlib
import sys
import time

from kestra_e2e import (DPI, LIST_HEAD_X, PICTURE_ORIGIN, Desktop, draw_scan, expected_row,
                        finish, heads, is_leaf_around, list_row_y, parse_options, wait_for_file)


def main():
    options = parse_options()
    scans = os.path.join(options.work, "scans")
    first = os.path.join(scans, "leaf2.bmp")
    second = os.path.join(scans, "leaf10.bmp")  # after leaf2 in name order
    scan = draw_scan(options.leafscan, first, second)
    results_path = os.path.join(options.work, "results.txt")
    tps_path = os.path.join(options.work, "leaves.tps")

    def at(x, y):
        assert is_leaf_around(scan, x, y), (x, y)
        return PICTURE_ORIGIN[0] + x, PICTURE_ORIGIN[1] + y

    with Desktop() as desktop:
        desktop.launch(options.kestra)
        desktop.activate()  # without a window manager, a click gives the keys
        desktop.open_scan(first, by_key=True)
        desktop.type_dpi(DPI)

        desktop.start_recording()
        desktop.click(*at(850, 400))  # P(1), placed again below
        desktop.key("F8")
        desktop.click(*at(800, 520))  # P(2)
        desktop.key("F7")
        desktop.click(*at(850, 420))  # P(1) again
        desktop.click(LIST_HEAD_X, list_row_y(13))
        desktop.click(*at(750, 500))  # P(13)
        desktop.key("F8", "F8", "F8", "F8")
        desktop.click(*at(880, 300))  # P(17)
        desktop.key("ctrl+Return")
        first_points = {1: (850, 420), 2: (800, 520), 13: (750, 500), 17: (880, 300)}

        desktop.key("ctrl+Next")
        desktop.wait_window("^KESTRA v2.04 - .*leaf10.bmp$")
        desktop.start_recording()
        desktop.click(*at(860, 430))  # P(1)
        desktop.key("F7")
        desktop.click(*at(900, 250))  # P(32)
        desktop.key("ctrl+Return")
        second_points = {1: (860, 430), 32: (900, 250)}

        # The landmarks of both rows go to a TPS file; back on the first scan
        # they come back from it, and analysed again give the first row anew.
        desktop.key("ctrl+shift+s")
        desktop.type_into_dialog("^Save landmarks$", tps_path)
        wait_for_file(tps_path)
        desktop.activate()
        desktop.key("ctrl+Prior")
        desktop.wait_window("^KESTRA v2.04 - .*leaf2.bmp$")
        desktop.key("ctrl+l")
        desktop.type_into_dialog("^Load landmarks$", tps_path)
        time.sleep(0.5)
        desktop.activate()
        desktop.key("ctrl+Return")

        desktop.save_results(results_path, os.path.join(options.work, "after-save.png"),
                             by_key=True)
        exit_code = desktop.quit(by_key=True)

    expected = [heads(), expected_row(first_points, scan[0], "leaf2.bmp", 1),
                expected_row(second_points, scan[0], "leaf10.bmp", 2),
                expected_row(first_points, scan[0], "leaf2.bmp", 3)]
    tps = pathlib.Path(tps_path).read_text(encoding="utf-8").split("\n")
    assert tps.count("LM=32") == 2 and "IMAGE=leaf10.bmp" in tps and "ID=2" in tps, tps[:40]
    return finish(results_path, expected, exit_code)


if __name__ == "__main__":
    sys.exit(main())
