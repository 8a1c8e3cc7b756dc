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
import shutil
import subprocess
import sys
import time

from kestra_e2e import (BUTTON_START_STOP, DPI, LABEL_DPI, LIST_HEAD_X,
                        PICTURE_ORIGIN, Desktop, check_saved, expected_row, heads,
                        is_leaf_around, leaf_pixel_count, list_row_y, parse_options,
                        wait_for_file)


def main():
    options = parse_options()
    scans = os.path.join(options.work, "scans")
    first = os.path.join(scans, "leaf2.bmp")
    second = os.path.join(scans, "leaf10.bmp")  # after leaf2 in name order
    subprocess.run([options.leafscan, first], check=True, timeout=120)
    shutil.copyfile(first, second)
    results_path = os.path.join(options.work, "results.txt")
    tps_path = os.path.join(options.work, "leaves.tps")
    scan = leaf_pixel_count(first)

    def at(x, y):
        assert is_leaf_around(scan, x, y), (x, y)
        return PICTURE_ORIGIN[0] + x, PICTURE_ORIGIN[1] + y

    with Desktop() as desktop:
        program = desktop.start(options.kestra)
        desktop.wait_window("^KESTRA v2.04$")
        time.sleep(1.0)
        desktop.click(*LABEL_DPI)  # without a window manager, a click gives the keys
        desktop.key("ctrl+o")
        desktop.type_into_dialog("^Open$", first)
        desktop.wait_window("^KESTRA v2.04 - .*leaf2.bmp$")
        time.sleep(0.5)
        desktop.type_dpi(DPI)

        desktop.click(*BUTTON_START_STOP)
        desktop.click(*BUTTON_START_STOP)
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
        desktop.click(*BUTTON_START_STOP)
        desktop.click(*BUTTON_START_STOP)
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
        desktop.click(*LABEL_DPI)
        desktop.key("ctrl+Prior")
        desktop.wait_window("^KESTRA v2.04 - .*leaf2.bmp$")
        desktop.key("ctrl+l")
        desktop.type_into_dialog("^Load landmarks$", tps_path)
        time.sleep(0.5)
        desktop.click(*LABEL_DPI)
        desktop.key("ctrl+Return")

        desktop.key("ctrl+s")
        desktop.type_into_dialog("^Save As$", results_path)
        wait_for_file(results_path)
        desktop.screenshot(os.path.join(options.work, "after-save.png"))
        # Without a window manager nothing makes the window active again once
        # a dialog has gone, and shortcuts need it active: a click does.
        desktop.click(*LABEL_DPI)
        desktop.key("ctrl+q")
        exit_code = program.wait(timeout=30)

    expected = [heads(), expected_row(first_points, scan[0], "leaf2.bmp", 1),
                expected_row(second_points, scan[0], "leaf10.bmp", 2),
                expected_row(first_points, scan[0], "leaf2.bmp", 3)]
    tps = pathlib.Path(tps_path).read_text(encoding="utf-8").split("\n")
    assert tps.count("LM=32") == 2 and "IMAGE=leaf10.bmp" in tps and "ID=2" in tps, tps[:40]
    if not check_saved(results_path, expected):
        return 1
    assert exit_code == 0, exit_code
    return 0


if __name__ == "__main__":
    sys.exit(main())
