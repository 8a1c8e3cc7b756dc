#!/usr/bin/env python3
"""Results that survive the program, end to end.

Two analyses, then the program killed (SIGKILL) as soon as the second row is
in the journal: the next start asks, Restore brings both rows back, and the
saved results and landmarks are those of the two analyses. A row left unsaved
at Ctrl+Q is asked about at the next start, and Discard keeps it aside; after
that, and after a session whose table was saved, no start asks again.
"""
import glob
import os
import pathlib
import sys
import time

from kestra_e2e import (BUTTON_ANALYZE, DPI, PICTURE_ORIGIN, Desktop, check_saved, draw_scan,
                        expected_row, heads, is_leaf_around, parse_options, wait_for_file,
                        wait_until)

QUESTION = "^KESTRA$"


def journal_rows(desktop):
    """Row records in the journals of running or ended windows."""
    lines = 0
    for journal in glob.glob(os.path.join(desktop.state, "kestra", "*.journal")):
        text = pathlib.Path(journal).read_text(encoding="utf-8", errors="replace")
        lines += sum(1 for line in text.split("\n") if line.startswith("row\t"))
    return lines


def asked(desktop, seconds):
    """Whether the question about unsaved results shows within `seconds`."""
    return bool(wait_until(lambda: desktop.xdotool("search", "--onlyvisible", "--name", QUESTION,
                                                   check=False), seconds))


def answer(desktop, keys):
    box = desktop.wait_window(QUESTION)
    time.sleep(0.5)
    desktop.xdotool("windowfocus", "--sync", box)
    desktop.key(keys)
    time.sleep(0.5)


def main():
    options = parse_options()
    scan_path = os.path.join(options.work, "scans", "leaf01.bmp")
    scan = draw_scan(options.leafscan, scan_path)
    results_path = os.path.join(options.work, "results.txt")
    tps_path = os.path.join(options.work, "leaves.tps")

    def at(x, y):
        assert is_leaf_around(scan, x, y), (x, y)
        return PICTURE_ORIGIN[0] + x, PICTURE_ORIGIN[1] + y

    first = {1: (850, 420), 2: (800, 520), 3: (900, 250)}
    second = {**first, 3: (880, 300)}
    with Desktop() as desktop:
        # Two analyses, and the program killed right after the second.
        desktop.launch(options.kestra)
        desktop.open_scan(scan_path)
        desktop.type_dpi(DPI)
        desktop.start_recording()
        for landmark in (1, 2, 3):
            desktop.click(*at(*first[landmark]))
            if landmark < 3:
                desktop.key("F8")
        desktop.click(*BUTTON_ANALYZE)
        desktop.click(*at(*second[3]))  # P(3) again
        desktop.click(*BUTTON_ANALYZE)
        assert wait_until(lambda: journal_rows(desktop) == 2, 10), journal_rows(desktop)
        desktop.program.kill()
        desktop.program.wait(timeout=30)

        # Restored: saved to the byte, landmarks in the TPS file.
        desktop.launch(options.kestra, title=QUESTION)
        desktop.screenshot(os.path.join(options.work, "question.png"))
        answer(desktop, "Return")
        desktop.activate()
        desktop.save_results(results_path, os.path.join(options.work, "restored.png"))
        desktop.activate()
        desktop.key("ctrl+shift+s")
        desktop.type_into_dialog("^Save landmarks$", tps_path)
        wait_for_file(tps_path)
        expected = [heads(), expected_row(first, scan[0], "leaf01.bmp", 1),
                    expected_row(second, scan[0], "leaf01.bmp", 2)]
        if not check_saved(results_path, expected):
            return 1
        tps = pathlib.Path(tps_path).read_text(encoding="utf-8").split("\n")
        height = scan[5]
        for number, points in ((1, first), (2, second)):
            start = [i for i, line in enumerate(tps) if line == "ID=%d" % number][0] - 34
            for landmark, (x, y) in points.items():
                assert tps[start + landmark] == "%d %d" % (x, height - y), (number, landmark)

        # One more row, unsaved at Ctrl+Q: asked about, and discarded.
        desktop.activate()
        desktop.open_scan(scan_path, by_key=True)
        desktop.activate()
        desktop.key("ctrl+Return")
        assert desktop.quit(by_key=True) == 0
        desktop.launch(options.kestra, title=QUESTION)
        answer(desktop, "alt+d")
        assert glob.glob(os.path.join(desktop.state, "kestra", "*.discarded")), "kept aside"
        assert desktop.quit(by_key=True) == 0

        # Nothing asked after a discard, and none after a saved table.
        desktop.launch(options.kestra)
        assert not asked(desktop, 3), "asked again after a discard"
        desktop.open_scan(scan_path)
        desktop.activate()
        desktop.key("ctrl+Return")
        desktop.save_results(os.path.join(options.work, "later.txt"),
                             os.path.join(options.work, "saved.png"))
        assert desktop.quit(by_key=True) == 0
        desktop.launch(options.kestra)
        assert not asked(desktop, 3), "asked after a saved table"
        assert desktop.quit(by_key=True) == 0
        assert not glob.glob(os.path.join(desktop.state, "kestra", "*.journal")), "journal left"
    return 0


if __name__ == "__main__":
    sys.exit(main())
