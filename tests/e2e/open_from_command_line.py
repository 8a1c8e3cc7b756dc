#!/usr/bin/env python3
"""A scan named on the command line, end to end, as a file manager's "Open with"
starts the program: the window shows with the scan open, or with the usual
error box over it when the scan does not open."""
import os
import shutil
import sys

from kestra_e2e import Desktop, parse_options


def main():
    options = parse_options(source="--pictures")
    scan = os.path.join(options.work, "scans", "leaf 1.bmp")
    shutil.copyfile(os.path.join(options.pictures, "pal8.bmp"), scan)

    with Desktop() as desktop:
        desktop.launch(options.kestra, arguments=[scan], title="^KESTRA v2.04 - %s$" % scan)
        desktop.screenshot(os.path.join(options.work, "opened.png"))
        desktop.activate()
        desktop.key("ctrl+q")
        assert desktop.program.wait(timeout=30) == 0

        missing = os.path.join(options.work, "scans", "gone.bmp")
        desktop.launch(options.kestra, arguments=[missing], title="^kestra$")
        desktop.screenshot(os.path.join(options.work, "refused.png"))
        # The window stays as it started, without a picture.
        desktop.wait_window("^KESTRA v2.04$")
        desktop.key("Return")
        desktop.activate()
        desktop.key("ctrl+q")
        assert desktop.program.wait(timeout=30) == 0
    return 0


if __name__ == "__main__":
    sys.exit(main())
