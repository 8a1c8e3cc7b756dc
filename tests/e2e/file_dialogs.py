#!/usr/bin/env python3
"""The window's file dialogs, end to end.

Starts the real program under Xvfb (no window manager, so the window fills
the screen) in a folder of pictures, where both dialogs first look. Opens a picture by completing "pal1"
to pal1bg.bmp and pressing Enter, and checks that the very next click, on
"Save ...", opens the save dialog at once; saves there over an earlier file by
a typed full path, through the dialog's question; then opens a picture by
typing its full path while the dialog shows its folder.
"""
import os
import pathlib
import shutil
import sys
import time

from kestra_e2e import BUTTON_OPEN, BUTTON_SAVE, Desktop, parse_options, wait_until

PICTURES = ["pal1.bmp", "pal1bg.bmp", "pal1wb.bmp"]
CAPTION = "KESTRA v2.04"
OLD_RESULTS = b"results of an earlier session"


class Failure(Exception):
    pass


class DialogDesktop(Desktop):
    """The shared desktop, with waits that fail with a reason instead of hanging."""

    def shown(self, name):
        return self.xdotool("search", "--onlyvisible", "--name", name, check=False).split()

    def window(self, name, seconds):
        """The id of a shown window whose title matches `name`, or None after `seconds`."""
        found = wait_until(lambda: self.shown(name), seconds)
        return found[0] if found else None

    def dialog(self, name, why):
        found = self.window(name, 10)
        if found is None:
            raise Failure(why)
        time.sleep(0.5)  # a dialog takes its focus a moment after it maps
        self.xdotool("windowfocus", "--sync", found)
        return found

    def window_beside(self, other, name, seconds):
        """Another shown window of the same title as `other`, or None after `seconds`."""
        beside = wait_until(lambda: [w for w in self.shown(name) if w != other], seconds)
        return beside[0] if beside else None

    def wait_title(self, title, why):
        def titled():
            found = self.xdotool("search", "--name", "^KESTRA", check=False).split()
            return any(self.xdotool("getwindowname", w, check=False) == title for w in found)

        if not wait_until(titled, 15):
            raise Failure(why)

    def type(self, text):
        self.xdotool("type", "--delay", 60, text)
        time.sleep(0.5)  # the completion list follows the file system model


def run(desktop, folder, results_path, work):
    # Completed from the list; the list offers all three pal1 pictures, then one.
    desktop.click(*BUTTON_OPEN)
    desktop.dialog("^Open$", "'Open ...' showed no dialog")
    desktop.type("pal1")
    desktop.type("b")
    desktop.key("Down", "Return")
    chosen = os.path.join(folder, "pal1bg.bmp")
    desktop.wait_title("%s - %s" % (CAPTION, chosen), "pal1bg.bmp did not open by completion")

    # The very next click counts.
    time.sleep(0.5)
    desktop.click(*BUTTON_SAVE)
    if desktop.window("^Save As$", 5) is None:
        raise Failure("the first click after the open dialog was lost: 'Save ...' showed nothing")
    dialog = desktop.dialog("^Save As$", "the save dialog went away")
    desktop.key("ctrl+a")
    desktop.type(results_path)
    desktop.key("Return")
    # The file is there already: the dialog asks first, in a box of its own title.
    prompt = desktop.window_beside(dialog, "^Save As$", 5)
    if prompt is None:
        raise Failure("the save dialog refused a typed full path in the folder it showed")
    desktop.xdotool("windowfocus", "--sync", prompt)
    desktop.key("y")
    wait_until(lambda: pathlib.Path(results_path).read_bytes() != OLD_RESULTS, 15, step=0.2)

    # The open dialog shows the folder of the last picture now.
    time.sleep(0.5)
    desktop.click(*BUTTON_OPEN)
    desktop.dialog("^Open$", "'Open ...' after the save showed no dialog")
    chosen = os.path.join(folder, "pal1wb.bmp")
    desktop.key("ctrl+a")
    desktop.type(chosen)
    desktop.key("Return")
    desktop.wait_title("%s - %s" % (CAPTION, chosen),
                       "the open dialog refused a typed full path in the folder it showed")
    time.sleep(0.5)
    desktop.screenshot(os.path.join(work, "after-dialogs.png"))
    return desktop.quit()


def main():
    # Pictures from the BMP suite's folder of good files, in a folder named g
    # first in its parent, as the BMP suite's own: a full path typed through
    # it is where the toolkit's dialog went wrong.
    options = parse_options("--pictures", os.path.join("pictures", "g"))
    folder = os.path.join(options.work, "pictures", "g")
    for name in PICTURES:
        shutil.copy(os.path.join(options.pictures, name), folder)
    results_path = os.path.join(folder, "results.txt")
    pathlib.Path(results_path).write_bytes(OLD_RESULTS)

    failure = None
    with DialogDesktop() as desktop:
        try:
            desktop.launch(options.kestra, cwd=folder)
            exit_code = run(desktop, folder, results_path, options.work)
        except Failure as error:
            failure = str(error)
            desktop.screenshot(os.path.join(options.work, "failure.png"))
    if failure:
        print(failure, file=sys.stderr)
        return 1

    lines = pathlib.Path(results_path).read_bytes().split(b"\r\n")
    assert lines[0].startswith(b"No.\tName\tSurface, cm2\t"), lines[0][:40]
    assert lines[1:] == [b"\t" * 119, b""], lines[1:]
    assert exit_code == 0, exit_code
    return 0


if __name__ == "__main__":
    sys.exit(main())
